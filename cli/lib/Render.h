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
#include "Reports.h"
#include "ValueText.h"

namespace velnorcli {

std::string RenderList(const std::vector<KEYPAD_ENTRY>& keypads);
std::string RenderStatus(const KEYPAD_ENTRY& keypad, const DEVICE_INFO& status, const KeyNames& names);
// A table of differences (field, left -> right), also a plan's changes (field, before -> after),
// in the order status shows the fields: the key count as keys, the code table one row per
// differing key with the keys' names ("key 3  1e (1 and !)  ->  1f (2 and @)"). 100 columns at
// most, but for serial numbers full of control characters.
std::string RenderDifferences(const std::vector<Difference>& differences, const std::string& left,
                              const std::string& right, const KeyNames& names);
// velnor keys: one line per named code, "1e  1 and !".
std::string RenderKeys(const KeyNames& names);
// A keypad's result as --json and the reports name it ("unchanged-after-failure").
std::string_view ResultName(KeypadResult result);

// The final report of a station run: one line per keypad (KEYPAD RESULT STATUS MESSAGE).
std::string RenderReports(const std::vector<KeypadReport>& reports);
std::string RenderDiagnosis(const Diagnosis& diagnosis);

// verify of one keypad that could be read: "equal: ..." or the table of differences.
std::string RenderVerify(const VerifyOutcome& outcome, const DEVICE_INFO& status, const std::string& file,
                         const KeyNames& names);
// verify --all: the entry of one keypad that could be read.
std::string RenderVerifyEntry(const VerifyOutcome& outcome, const DEVICE_INFO& status, const KeyNames& names);
// backup: where it went (a sentence, no newline).
std::string RenderBackupWritten(const KEYPAD_ENTRY& keypad, const std::string& file, bool incomplete);
// restore --serials: the one warning for serials whose outcome is unknown (none: empty).
std::string RenderUnknownSerials(const std::vector<std::string>& unknown, const std::string& list);
// A command that writes, stopped by a signal (a sentence, no newline).
std::string RenderStopped(const char* signal);
}  // namespace velnorcli

#endif
