// Human output: the text each command prints for people, aligned, with control characters in
// keypad or file text made visible. Plain functions over data; the shell prints what they give.
#ifndef VELNOR_CLI_RENDER_H
#define VELNOR_CLI_RENDER_H

#include <string>
#include <vector>

#include <velnor/PlixoApi.h>

#include "Doctor.h"
#include "KeyNames.h"
#include "RestorePlan.h"
#include "Settings.h"
#include "Station.h"
#include "ValueText.h"

namespace velnorcli {

std::string RenderList(const std::vector<KEYPAD_ENTRY>& keypads);
std::string RenderStatus(const KEYPAD_ENTRY& keypad, const DEVICE_INFO& status, const KeyNames& names);
// A table of differences (field, left, right), also a plan's changes (field, before, after); the
// code table one row per differing key.
std::string RenderDifferences(const std::vector<Difference>& differences, const std::string& left,
                              const std::string& right);
// The final report of a station run: one line per keypad (KEYPAD RESULT STATUS MESSAGE).
std::string RenderReports(const std::vector<KeypadReport>& reports);
std::string RenderDiagnosis(const Diagnosis& diagnosis);

}  // namespace velnorcli

#endif
