// Fresh serial numbers for a production line: a list of serials (one a line) and, beside it, the
// record of what became of each serial taken from it (LIST.taken). A serial is recorded as
// taken before a keypad is written with it, and its outcome after: so no serial is ever given
// twice, also by two velnor processes on one station at once (the record is locked while a
// serial is chosen) or after a crash at any point (a serial whose outcome was never recorded
// stays unknown: it is not handed out again until a technician resolves it).
//
// Record lines, appended whole: SERIAL, STATE, UTC time, HOST:PID of the velnor that wrote it,
// keypad; separated by tabs (a line typed by hand may use blanks). STATE is
//   taking    chosen for a keypad that is about to be written
//   taken     that keypad holds it (its restore was verified)
//   returned  that keypad's restore failed and left it without the serial: free again
// The last line of a serial decides. A serial whose last line is "taking" while no velnor works
// on it any more is unknown.
//
// Both files are regular files, read in one pass whatever their length (no size limit), holding
// in memory the list's serials and one state per serial of the record.
#ifndef VELNOR_CLI_SERIALLEDGER_H
#define VELNOR_CLI_SERIALLEDGER_H

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "ExitStatus.h"

namespace velnorcli {

enum class SerialState { Taking, Taken, Returned };

// The serials of a list file's text, in order: blank lines and lines starting with # left out,
// blanks around a serial dropped. A serial with a control character or a blank inside, or one
// longer than a keypad keeps, makes the list refused (the refusal says which line).
struct SerialList {
    std::vector<std::string> serials;
    std::string refusal;  // empty when the list is usable
};
SerialList ParseSerialList(std::string_view text);

// The last state of each serial named in a record's text (a torn last line and lines with no
// known state are skipped).
using RecordStates = std::unordered_map<std::string, SerialState>;
RecordStates ParseRecord(std::string_view text);

// The serials of the list that are free (never taken, or returned), in list order, at most `most`.
std::vector<std::string> FreeSerials(const std::vector<std::string>& serials, const RecordStates& record,
                                     std::size_t most = std::numeric_limits<std::size_t>::max());

// One record line, ending in \n.
std::string RecordLine(const std::string& serial, SerialState state, const std::string& utcTime,
                       const std::string& writer, const std::string& keypad);

// The process holding a flock(2) lock on the file (device major, minor, inode), from the text of
// /proc/locks; none when no such line (a process of another host, or of a hidden PID namespace).
std::optional<pid_t> FlockHolder(std::string_view procLocks, unsigned major, unsigned minor, ino_t inode);

// How a wait for the record's lock may end early, and who is told that it lasts.
struct LedgerWait {
    const std::atomic<bool>* stop = nullptr;  // when set: the wait gives up (status 130)
    // Once, after about a second of waiting: who holds the lock ("process 812 (flock)"). Not for
    // another thread of this velnor, which holds it only while it chooses.
    std::function<void(const std::string& holder)> waiting;
};

class SerialLedger {
public:
    // listPath: the list; the record is listPath + ".taken".
    explicit SerialLedger(std::string listPath);

    // Before any keypad is involved: the list is a regular file and usable, and the record a
    // regular file that can be appended to (made when missing).
    std::optional<Failure> Check() const;
    // Chooses the first free serial and records it as taking, for this keypad, under the lock.
    // A failure when the files fail, the list is used up or the wait for the lock was stopped.
    std::variant<std::string, Failure> Take(const std::string& keypad, const LedgerWait& wait = {});
    // Records what became of a serial taken (Taken or Returned).
    std::optional<Failure> Settle(const std::string& serial, SerialState outcome, const std::string& keypad,
                                  const LedgerWait& wait = {});

    // Without taking anything: the first `most` free serials (for a dry run), whether the record
    // shows a serial as taken by this keypad, and the serials left "taking" by a velnor of this
    // host that no longer runs (their outcome is unknown).
    std::vector<std::string> Free(std::size_t most, std::string& error) const;
    bool TakenBy(const std::string& serial, const std::string& keypad) const;
    std::vector<std::string> Unknown() const;

    const std::string& ListPath() const { return listPath_; }
    const std::string& RecordPath() const { return recordPath_; }

private:
    std::string listPath_;
    std::string recordPath_;
};

}  // namespace velnorcli

#endif
