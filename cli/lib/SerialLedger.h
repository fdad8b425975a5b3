// Fresh serial numbers for a production line (velnor restore --serials): a list of serials and
// the record of what became of each serial taken from it, kept by a store (serials/FileStore.h:
// LIST and LIST.taken beside it) and read by the rules (serials/SerialRules.h). A serial is
// recorded as taking before a keypad is written with it, and its outcome after, each under the
// record's lock: no serial is ever given twice, also by two velnor processes at once.
#ifndef VELNOR_CLI_SERIALLEDGER_H
#define VELNOR_CLI_SERIALLEDGER_H

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Result.h"
#include "serials/SerialRules.h"
#include "serials/SerialStore.h"

namespace velnorcli {

// What `velnor serials` shows of a list, and what a --resolve or --return settled (each
// settled serial as its new line names it: its keypad, time and writer).
struct SerialsState {
    SerialCounts counts;
    std::vector<PendingSerial> unknown;
    std::vector<PendingSerial> settled;
};

class SerialLedger {
public:
    // listPath: the list; the record is listPath + ".taken".
    explicit SerialLedger(std::string listPath);

    // Before any keypad is involved: the list is usable and the record can be added to.
    Done Check() const;
    // The serial of each keypad, in the order given (the port order; AssignSerials says which
    // keypad keeps the serial it holds). With `record`, each fresh one is recorded as taking for
    // its keypad (the first of its names), all under the lock at once; without (a dry run),
    // nothing is recorded. A failure, with nothing recorded, when the list lacks free serials
    // (the message and hint say how many), the files fail or the wait for the lock was stopped.
    Result<std::vector<GivenSerial>> Give(const std::vector<SerialClaim>& claims, bool record, const LedgerWait& wait = {});
    // One fresh serial, recorded as taking for this keypad.
    Result<std::string> Take(const std::string& keypad, const LedgerWait& wait = {});
    // Records what became of a serial taken (Taken or Returned).
    Done Settle(const std::string& serial, SerialState outcome, const std::string& keypad, const LedgerWait& wait = {});

    // The serials left "taking" by a velnor of this host that no longer runs (their outcome is
    // unknown); none when the record cannot be read.
    std::vector<std::string> Unknown() const;
    // The list's serials counted by state, and the unknown ones.
    Result<SerialsState> State() const;
    // Settles as taken each unknown serial that one of these keypads holds (its recorded name,
    // the serial it holds; the first holder is recorded); the others stay unknown.
    Result<SerialsState> Resolve(const std::vector<std::pair<std::string, std::string>>& held);
    // Returns unknown serials on the operator's word (the record names them: "operator USER").
    // Any serial that is not unknown refuses them all (status 7), and nothing is recorded.
    Result<SerialsState> Return(const std::vector<std::string>& serials);

    const std::string& ListPath() const { return listPath_; }
    const std::string& RecordPath() const { return recordPath_; }

private:
    std::string listPath_;
    std::string recordPath_;
    std::unique_ptr<SerialStore> store_;
};

}  // namespace velnorcli

#endif
