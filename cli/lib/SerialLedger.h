// Fresh serial numbers for a production line (velnor restore --serials): a list of serials and
// the record of what became of each serial taken from it, kept in files by a store
// (serials/FileStore.h: LIST and LIST.taken beside it) or in a database, and read by the rules
// (serials/SerialRules.h). A serial is
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

// The ledger's operations, wherever it is kept: a list file (FileLedger) or a PostgreSQL database
// (db/PostgresLedger.h), with the same rules.
class SerialLedger {
public:
    virtual ~SerialLedger() = default;

    // Before any keypad is involved: the list is usable and the record can be added to.
    virtual Done Check() const = 0;
    // The serial of each keypad, in the order given (the port order; AssignSerials says which
    // keypad keeps the serial it holds). With `record`, each fresh one is recorded as taking for
    // its keypad (the first of its names), all at once; without (a dry run), nothing is
    // recorded. A failure, with nothing recorded, when the list lacks free serials (the message
    // and hint say how many), the record fails or the wait for the lock was stopped.
    virtual Result<std::vector<GivenSerial>> Give(const std::vector<SerialClaim>& claims, bool record, const LedgerWait& wait = {}) = 0;
    // One fresh serial, recorded as taking for this keypad.
    Result<std::string> Take(const std::string& keypad, const LedgerWait& wait = {});
    // Records what became of a serial taken (Taken or Returned).
    virtual Done Settle(const std::string& serial, SerialState outcome, const std::string& keypad, const LedgerWait& wait = {}) = 0;

    // The serials left "taking" by a velnor of this host that no longer runs, or in a database
    // by one of another host that holds no connection to it (their outcome is unknown); none
    // when the record cannot be read.
    virtual std::vector<std::string> Unknown() const = 0;
    // The list's serials counted by state, and the unknown ones.
    virtual Result<SerialsState> State() const = 0;
    // Settles as taken each unknown serial that one of these keypads holds (its recorded name,
    // the serial it holds; the first holder is recorded); the others stay unknown.
    virtual Result<SerialsState> Resolve(const std::vector<std::pair<std::string, std::string>>& held) = 0;
    // Returns unknown serials on the operator's word (the record names them: "operator USER").
    // Any serial that is not unknown refuses them all (status 7), and nothing is recorded.
    virtual Result<SerialsState> Return(const std::vector<std::string>& serials) = 0;

    // The list and its record as messages name them (a database without its password).
    const std::string& ListPath() const { return listPath_; }
    const std::string& RecordPath() const { return recordPath_; }

protected:
    SerialLedger(std::string list, std::string record) : listPath_(std::move(list)), recordPath_(std::move(record)) {}

private:
    std::string listPath_;
    std::string recordPath_;
};

// The list file LIST and its record LIST.taken beside it.
class FileLedger final : public SerialLedger {
public:
    explicit FileLedger(const std::string& listPath);

    Done Check() const override;
    Result<std::vector<GivenSerial>> Give(const std::vector<SerialClaim>& claims, bool record, const LedgerWait& wait = {}) override;
    Done Settle(const std::string& serial, SerialState outcome, const std::string& keypad, const LedgerWait& wait = {}) override;
    std::vector<std::string> Unknown() const override;
    Result<SerialsState> State() const override;
    Result<SerialsState> Resolve(const std::vector<std::pair<std::string, std::string>>& held) override;
    Result<SerialsState> Return(const std::vector<std::string>& serials) override;

private:
    std::unique_ptr<SerialStore> store_;
};

// The ledger --serials names: a PostgreSQL URI (postgresql://, postgres://) or a list file.
// `station` names this station in a database's record.
std::unique_ptr<SerialLedger> OpenSerialLedger(const std::string& serials, const std::string& station);

// For the ledgers' records: this velnor (HOST:PID), the time now (UTC), the operator who
// returns a serial ("operator USER"), and whether a process of this host still runs.
std::string LedgerHost();
std::string LedgerWriter();
std::string LedgerNow();
std::string LedgerOperator();
bool LedgerRuns(long pid);

}  // namespace velnorcli

#endif
