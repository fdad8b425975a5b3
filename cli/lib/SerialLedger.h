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
#include <vector>

#include "Result.h"
#include "serials/SerialRules.h"
#include "serials/SerialStore.h"

namespace velnorcli {

class SerialLedger {
public:
    // listPath: the list; the record is listPath + ".taken".
    explicit SerialLedger(std::string listPath);

    // Before any keypad is involved: the list is usable and the record can be added to.
    Done Check() const;
    // Chooses the first free serial and records it as taking, for this keypad, under the lock.
    // A failure when the files fail, the list is used up or the wait for the lock was stopped.
    Result<std::string> Take(const std::string& keypad, const LedgerWait& wait = {});
    // Records what became of a serial taken (Taken or Returned).
    Done Settle(const std::string& serial, SerialState outcome, const std::string& keypad, const LedgerWait& wait = {});

    // Without taking anything: the first `most` free serials (for a dry run).
    Result<std::vector<std::string>> Free(std::size_t most) const;
    // Whether the record shows a serial as taken by this keypad; not when it cannot be read
    // (a Take then says why).
    bool TakenBy(const std::string& serial, const std::string& keypad) const;
    // The serials left "taking" by a velnor of this host that no longer runs (their outcome is
    // unknown); none when the record cannot be read.
    std::vector<std::string> Unknown() const;

    const std::string& ListPath() const { return listPath_; }
    const std::string& RecordPath() const { return recordPath_; }

private:
    std::string listPath_;
    std::string recordPath_;
    std::unique_ptr<SerialStore> store_;
};

}  // namespace velnorcli

#endif
