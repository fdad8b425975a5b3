// The rules of the serial record, apart from where it is kept: a list of serials (one a line)
// and the record of what became of each serial taken from it, as events in the order written.
// A serial is recorded as taking before a keypad is written with it, and its outcome after: so
// no serial is ever given twice, also after a crash at any point (a serial whose outcome was
// never recorded stays unknown: it is not handed out again until a technician resolves it).
//
// Record lines, appended whole: SERIAL, STATE, UTC time, HOST:PID of the velnor that wrote it,
// keypad; separated by tabs (a line typed by hand may use blanks). STATE is
//   taking    chosen for a keypad that is about to be written
//   taken     that keypad holds it (its restore was verified)
//   returned  that keypad's restore failed and left it without the serial: free again
// The last event of a serial decides. A serial whose last event is "taking" while no velnor
// works on it any more is unknown.
//
// The rules read the events one by one and keep only what they decide on, so that a record of
// any length is read in one pass.
#ifndef VELNOR_CLI_SERIALS_SERIALRULES_H
#define VELNOR_CLI_SERIALS_SERIALRULES_H

#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Result.h"
#include "serials/Lines.h"

namespace velnorcli {

enum class SerialState { Taking, Taken, Returned };

// One event of the record, as views into its line (or into the strings it is made from).
struct SerialEvent {
    std::string_view serial;
    SerialState state = SerialState::Taking;
    std::string_view time;    // UTC, as written ("" when not given)
    std::string_view writer;  // HOST:PID of the velnor that wrote it ("" when not given)
    std::string_view keypad;  // "" when not given

    bool operator==(const SerialEvent&) const = default;
};

// The event of a record line; none for a torn last line or a line with no known state.
std::optional<SerialEvent> ParseEvent(std::string_view line, LineEnd end);
// The record line of an event, ending in \n.
std::string EventLine(const SerialEvent& event);

// The serials of a list, line by line, in order: blank lines and lines starting with # left
// out, blanks around a serial dropped. A serial with a control character or a blank inside, or
// one longer than a keypad keeps, makes the list refused (the refusal says which line).
class ListParser {
public:
    void operator()(std::string_view line, std::size_t number, LineEnd end);
    // The serials; a refusal (status 7, the words alone) when the list cannot be used.
    Result<std::vector<std::string>> End() &&;

private:
    std::vector<std::string> serials_;
    std::string refusal_;
};
Result<std::vector<std::string>> ParseSerialList(std::string_view text);

// Each serial's last state and the keypad its last event names: which serials are free, and
// which keypad holds one.
class LastStates {
public:
    void Add(const SerialEvent& event);
    // The serials of `list` that are free (never taken, or returned), in list order, at most
    // `most`; a serial listed twice is free once.
    std::vector<std::string> Free(const std::vector<std::string>& list,
                                  std::size_t most = std::numeric_limits<std::size_t>::max()) const;
    // Whether the serial's last event is "taken" by this keypad.
    bool TakenBy(const std::string& serial, std::string_view keypad) const;
    // The last state of each serial of `list` (counted once), none for one never taken.
    std::vector<std::optional<SerialState>> StatesOf(const std::vector<std::string>& list) const;

private:
    struct Last {
        SerialState state;
        std::string keypad;
    };
    std::unordered_map<std::string, Last> states_;
};

// A serial whose last event is "taking": when, by which velnor (HOST:PID), for which keypad.
struct PendingSerial {
    std::string serial;
    std::string time;
    std::string writer;
    std::string keypad;

    bool operator==(const PendingSerial&) const = default;
};

// The host part of a writer, HOST:PID ("" when there is no colon).
std::string_view HostOf(std::string_view writer);

// The serials whose last event is "taking", with the velnor that wrote it.
class Unsettled {
public:
    void Add(const SerialEvent& event);
    // Those left by a velnor of `host` whose process no longer runs (`runs` says which do): their
    // outcome is unknown. A velnor of another host may still be at work. Numbers in their order.
    std::vector<PendingSerial> Unknown(std::string_view host, const std::function<bool(long pid)>& runs) const;
    // Those whose writer `gone` says no longer runs, wherever it ran.
    std::vector<PendingSerial> Unknown(const std::function<bool(const std::string& writer)>& gone) const;
    // Every serial whose last event is "taking", unknown or still being worked on.
    std::size_t Count() const { return pending_.size(); }

private:
    std::unordered_map<std::string, PendingSerial> pending_;
};

// What `velnor serials` shows of a list: its serials counted by their state (each once), and
// the unknown ones. Taking counts those a velnor still works on (or one of another host).
struct SerialCounts {
    std::size_t free = 0;  // never taken
    std::size_t taken = 0;
    std::size_t returned = 0;  // free again
    std::size_t taking = 0;
    std::size_t unknown = 0;
};
SerialCounts CountSerials(const std::vector<std::string>& list, const LastStates& states,
                          const std::vector<PendingSerial>& unknown);

// A keypad that is to get a serial: the names the record may give it (how it is recorded now
// first, then how earlier versions named it) and the serial it holds ("" none).
struct SerialClaim {
    std::vector<std::string> names;
    std::string held;
};
struct GivenSerial {
    std::string serial;
    bool fresh = false;  // taken from the list for it (else: it keeps the serial it holds)
};
// The serial of each keypad, in the order given (the port order): a keypad that holds a serial
// the record shows as taken by it keeps it (once; a second keypad with the same claim gets a
// fresh one), every other gets the next free serial. `missing`: how many free serials the list
// lacks for that; then `given` is empty.
struct SerialAssignment {
    std::vector<GivenSerial> given;
    std::size_t fresh = 0;    // how many keypads need a fresh serial
    std::size_t missing = 0;
};
// Which keypads keep the serial they hold (as AssignSerials decides it); none for the others.
std::vector<std::optional<std::string>> KeptSerials(const LastStates& states, const std::vector<SerialClaim>& claims);
SerialAssignment AssignSerials(const LastStates& states, const std::vector<std::string>& list,
                               const std::vector<SerialClaim>& claims);

}  // namespace velnorcli

#endif
