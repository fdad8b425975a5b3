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
#ifndef VELNOR_CLI_SERIALLEDGER_H
#define VELNOR_CLI_SERIALLEDGER_H

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

struct RecordEntry {
    SerialState state;
    std::string writer;  // HOST:PID of the velnor that wrote the line ("" when not given)
    std::string keypad;  // the keypad it names ("" when not given)
    std::string line;    // the whole line
};
// The last entry of each serial named in a record's text (a torn last line and lines with no
// known state are skipped).
std::map<std::string, RecordEntry> ParseRecord(std::string_view text);

// The serials of the list that are free (never taken, or returned), in list order.
std::vector<std::string> FreeSerials(const std::vector<std::string>& serials,
                                     const std::map<std::string, RecordEntry>& record);

// One record line, ending in \n.
std::string RecordLine(const std::string& serial, SerialState state, const std::string& utcTime,
                       const std::string& writer, const std::string& keypad);

class SerialLedger {
public:
    // listPath: the list; the record is listPath + ".taken".
    explicit SerialLedger(std::string listPath);

    // Before any keypad is involved: the list is usable and the record can be appended to.
    // Empty on success, else why not.
    std::string Check() const;
    // Chooses the first free serial and records it as taking, for this keypad, under the lock.
    // None when the files fail or the list is used up; `error` says which.
    std::optional<std::string> Take(const std::string& keypad, std::string& error);
    // Records what became of a serial taken (Taken or Returned). Empty on success.
    std::string Settle(const std::string& serial, SerialState outcome, const std::string& keypad);

    // Without taking anything: the free serials (for a dry run), whether the record shows a
    // serial as taken by this keypad, and the lines of serials left "taking" by a velnor of
    // this host that no longer runs (their outcome is unknown).
    std::vector<std::string> Free(std::string& error) const;
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
