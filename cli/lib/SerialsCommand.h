// velnor serials LIST: a serial list's state (how many serials are free, taken, returned, being
// worked on or of unknown outcome, and each unknown one), settling the unknown ones that an
// attached keypad holds (--resolve), or returning them on the operator's word (--return).
#ifndef VELNOR_CLI_SERIALSCOMMAND_H
#define VELNOR_CLI_SERIALSCOMMAND_H

#include <string>
#include <vector>

#include <velnor/PlixoApi.h>

#include "Json.h"
#include "Result.h"
#include "SerialLedger.h"

namespace velnorcli {

enum class SerialsAction { Show, Resolve, Return };

struct SerialsOutcome {
    std::string list;
    std::string record;
    SerialsState state;  // after the action
    // --resolve: the keypads whose serial could not be read (an unknown serial may be theirs).
    std::vector<std::pair<KEYPAD_ENTRY, Failure>> unread;
};

// `serials`: those to return (--return). --resolve reads the attached keypads only when some
// serial is unknown.
Result<SerialsOutcome> RunSerials(const std::string& list, SerialsAction action, const std::vector<std::string>& serials);

// velnor serials init URI [--list LIST]: the database's tables made (or checked, an older schema
// upgraded), and the list's serials added after those there; what was done, for people.
Result<std::string> InitSerials(const std::string& uri, const std::string& list);

// For people: what was settled, the counts, the unknown serials (one a line: serial, since when,
// host, keypad), and what to do about those left.
std::string RenderSerials(const SerialsOutcome& outcome, SerialsAction action);
// {"list": S, "record": S, "counts": {"free", "returned", "taken", "taking", "unknown"},
//  "unknown": [{"serial", "time", "host", "pid", "keypad"}, ...],
//  "settled": [{"serial", "state", "time", "host", "keypad"}, ...],
//  "unread": [{"keypad": K, "status": N, "message": S}, ...]}
Json SerialsJson(const SerialsOutcome& outcome, SerialsAction action);

}  // namespace velnorcli

#endif
