#include "RestorePlan.h"

#include <algorithm>

#include "SerialSuffix.h"

namespace velnorcli {

namespace {

std::vector<Difference> ChangesOf(const Settings& now, const Target& target, const std::vector<Field>& fields) {
    std::vector<Difference> changes;
    for (Field field : kFields) {
        if (std::find(fields.begin(), fields.end(), field) == fields.end()) continue;
        Value from = ValueOf(now, field);
        Value to = ValueOf(target.settings, field);
        if (from != to) changes.push_back({field, std::move(from), std::move(to)});
    }
    return changes;
}

std::vector<Step> Writes(const std::vector<Difference>& changes, const std::vector<Field>& fields, bool force) {
    std::vector<Step> steps;
    for (Field field : kWriteOrder) {
        const bool named = std::find(fields.begin(), fields.end(), field) != fields.end();
        const bool differs = std::any_of(changes.begin(), changes.end(), [&](const Difference& c) { return c.field == field; });
        if (named && (differs || force)) steps.push_back({StepKind::Write, field});
    }
    return steps;
}

}  // namespace

Target TargetOfBackup(const DEVICE_INFO& file) {
    using namespace velnorbackup;
    return Target{SettingsAfterRestore(file), SerialToSend(file.SerialNumber, OldFirmware(file.FirmwareName, FirmwareOf::BackupFile))};
}

Plan PlanRestore(const Settings& now, const Target& target, bool force) {
    const std::vector<Field> all(std::begin(kWriteOrder), std::end(kWriteOrder));
    Plan plan{ChangesOf(now, target, all), {}};
    if (plan.changes.empty() && !force) return plan;
    plan.steps = Writes(plan.changes, all, force);
    for (StepKind kind : {StepKind::CheckRam, StepKind::Flash, StepKind::Reset, StepKind::Restart, StepKind::ReadBack}) {
        plan.steps.push_back({kind});
    }
    return plan;
}

Plan PlanSet(const Settings& now, const Target& target, const std::vector<Field>& named, bool force, bool flash) {
    Plan plan{ChangesOf(now, target, named), {}};
    if (plan.changes.empty() && !force) return plan;
    plan.steps = Writes(plan.changes, named, force);
    plan.steps.push_back({StepKind::CheckRam});
    if (flash) plan.steps.push_back({StepKind::Flash});
    return plan;
}

std::string StepName(const Step& step) {
    switch (step.kind) {
    case StepKind::Write: return "writing " + std::string(FieldName(step.field));
    case StepKind::CheckRam: return "checking the RAM";
    case StepKind::Flash: return "writing to flash";
    case StepKind::Reset: return "restarting";
    case StepKind::Restart: return "waiting for the restart";
    case StepKind::ReadBack: return "reading back";
    }
    return "?";
}

}  // namespace velnorcli
