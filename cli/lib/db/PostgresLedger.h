// The serial ledger in a PostgreSQL database (velnor.serials, made by velnor serials init), with
// the rules of the list file. The database keeps a serial from being given twice, by any number
// of stations on any number of hosts: each serial is one row, and the fresh serials of a run are
// chosen and recorded as taking in one statement that skips the rows other stations hold
// locked. Each change is one short transaction; none is open while a keypad is written.
#ifndef VELNOR_CLI_DB_POSTGRESLEDGER_H
#define VELNOR_CLI_DB_POSTGRESLEDGER_H

#include <memory>
#include <string>
#include <vector>

#include "SerialLedger.h"
#include "db/Database.h"

namespace velnorcli {

class PostgresLedger final : public SerialLedger {
public:
    PostgresLedger(const std::string& uri, std::string station);

    // Also: the schema is this velnor's (an older one upgraded).
    Done Check() const override;
    Result<std::vector<GivenSerial>> Give(const std::vector<SerialClaim>& claims, bool record, const LedgerWait& wait = {}) override;
    Done Settle(const std::string& serial, SerialState outcome, const std::string& keypad, const LedgerWait& wait = {}) override;
    std::vector<std::string> Unknown() const override;
    Result<SerialsState> State() const override;
    Result<SerialsState> Resolve(const std::vector<std::pair<std::string, std::string>>& held) override;
    Result<SerialsState> Return(const std::vector<std::string>& serials) override;

    // velnor serials init: the schema made (or checked, or upgraded), then the serials of `list`
    // added after those there (one already there is left as it is). How many were added.
    Result<std::size_t> Init(const std::vector<std::string>& list);

private:
    // Every serial's row, as the rules read a record: the list in order, and each serial's
    // last event (none for a free one).
    Result<std::vector<Database::Row>> Rows() const;

    std::string station_;
    std::unique_ptr<Database> database_;
};

}  // namespace velnorcli

#endif
