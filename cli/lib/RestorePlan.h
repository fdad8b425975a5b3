// What a restore or a set will do to one keypad, as data: which settings differ, what is sent
// for each, and in which order, followed by the steps that prove the result. Computed from the
// keypad's status and the target alone, before anything is written; the device layer
// (Restore.h) only carries the steps out.
#ifndef VELNOR_CLI_RESTOREPLAN_H
#define VELNOR_CLI_RESTOREPLAN_H

#include <string>
#include <vector>

#include <velnor/PlixoApi.h>

#include "Settings.h"

namespace velnorcli {

// What a keypad is to hold afterwards.
struct Target {
    Settings settings;       // as a status read shows it
    std::string serialText;  // the serial number as it is sent (it may be longer than a status shows)
};

// What `VelnorUtility -b` leaves a keypad holding for a backup file read into `file`: its
// settings, the serial number with the four-blank suffix for firmware below 7, the whole
// 20-byte code table. (A serial from a --serials list replaces file.SerialNumber first.)
Target TargetOfBackup(const DEVICE_INFO& file);

// The settings in the order `VelnorUtility -b` writes them.
inline constexpr Field kWriteOrder[] = {Field::Buzzer,         Field::BuzzerPeriod, Field::KeypadTable, Field::LedLevel,
                                        Field::KeyCountOption, Field::Serial,       Field::CodeTable};

enum class StepKind {
    Write,      // one setting into RAM
    CheckRam,   // a status read that must show the target
    Flash,      // the RAM to flash
    Reset,      // restart the keypad
    Restart,    // wait for it to leave and come back
    ReadBack,   // a status read that must show the target, now from flash
};

struct Step {
    StepKind kind;
    Field field = Field::LedLevel;  // for Write
    bool operator==(const Step&) const = default;
};

struct Plan {
    std::vector<Difference> changes;  // the settings that differ (now, target), in the order kFields shows them
    std::vector<Step> steps;      // empty: nothing to do
};

// Writes of the differing settings (every one with `force`) in write order, then CheckRam, Flash, Reset,
// Restart, ReadBack. Nothing at all when nothing differs and not `force`.
Plan PlanRestore(const Settings& now, const Target& target, bool force);

// For `set`: writes of the named settings that differ (every named one with `force`) in write order, then
// CheckRam and, with `flash`, Flash. No restart.
Plan PlanSet(const Settings& now, const Target& target, const std::vector<Field>& named, bool force, bool flash);

// "writing buzzer", "checking the RAM", ... as progress and messages name a step.
std::string StepName(const Step& step);

}  // namespace velnorcli

#endif
