#include "PostgresLedger.h"

#include <unistd.h>

#include <algorithm>
#include <set>

#include "Text.h"

namespace velnorcli {

namespace {

// A PostgreSQL array literal of texts, each element quoted and escaped: sent as a parameter,
// never put into a statement.
std::string ArrayOf(const std::vector<std::string>& texts) {
    std::string array = "{";
    for (const std::string& text : texts) {
        array += array.size() > 1 ? ",\"" : "\"";
        for (const char c : text) {
            if (c == '"' || c == '\\') array += '\\';
            array += c;
        }
        array += '"';
    }
    return array + "}";
}

const char* StateName(SerialState state) {
    return state == SerialState::Taking ? "taking" : state == SerialState::Taken ? "taken" : "returned";
}

std::string Text(const Database::Value& value) { return value.value_or(""); }

// The times as the file's record writes them (UTC, milliseconds).
#define VELNOR_UTC(column) "to_char(" column " AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')"

}  // namespace

PostgresLedger::PostgresLedger(const std::string& uri, std::string station)
    : SerialLedger(ShownUri(uri), ShownUri(uri)), station_(std::move(station)), database_(std::make_unique<Database>(uri, LedgerWriter())) {}

Done PostgresLedger::Check() const { return database_->Schema(false); }

Result<std::vector<GivenSerial>> PostgresLedger::Give(const std::vector<SerialClaim>& claims, bool record, const LedgerWait&) {
    // Which keypads keep the serial they hold: those the database shows as taken by them.
    std::vector<std::string> held;
    for (const SerialClaim& claim : claims) {
        if (!claim.held.empty()) held.push_back(claim.held);
    }
    LastStates states;
    if (!held.empty()) {
        const Result<std::vector<Database::Row>> rows =
            database_->Run("SELECT serial, keypad FROM velnor.serials WHERE state = 'taken' AND serial = ANY ($1::text[])", {ArrayOf(held)});
        if (!rows) return rows.failure();
        for (const Database::Row& row : *rows) states.Add({Text(row[0]), SerialState::Taken, "", "", Text(row[1])});
    }
    const std::vector<std::optional<std::string>> kept = KeptSerials(states, claims);
    std::vector<std::string> keypads;
    for (std::size_t i = 0; i < claims.size(); ++i) {
        if (!kept[i]) keypads.push_back(claims[i].names.front());
    }
    std::vector<std::string> fresh;
    if (!keypads.empty()) {
        // Rows that other stations took meanwhile can make the statement find fewer than it
        // could: nothing is recorded then, and it is tried again before a shortage is told.
        bool shortage = false;
        const auto choose = [&]() -> Done {
            shortage = false;
            // The next free serials in list order, those another station holds locked skipped,
            // each recorded as taking for its keypad: one statement.
            const Result<std::vector<Database::Row>> rows =
                record ? database_->Run(
                             "WITH wanted AS (SELECT keypad, n FROM unnest($1::text[]) WITH ORDINALITY AS w (keypad, n)), "
                             "free AS (SELECT serial, row_number() OVER (ORDER BY position) AS n FROM "
                             "(SELECT serial, position FROM velnor.serials WHERE state IN ('free', 'returned') "
                             "ORDER BY position LIMIT cardinality($1::text[]) FOR UPDATE SKIP LOCKED) AS f) "
                             "UPDATE velnor.serials AS s SET state = 'taking', keypad = wanted.keypad, station = $2, host = $3, "
                             "pid = $4::integer, taking_since = now(), settled = NULL "
                             "FROM free JOIN wanted USING (n) WHERE s.serial = free.serial RETURNING free.n, s.serial",
                             {ArrayOf(keypads), station_, LedgerHost(), std::to_string(getpid())})
                       : database_->Run("SELECT row_number() OVER (ORDER BY position), serial FROM velnor.serials "
                                        "WHERE state IN ('free', 'returned') ORDER BY position LIMIT $1::integer",
                                        {std::to_string(keypads.size())});
            if (!rows) return rows.failure();
            fresh.assign(rows->size(), "");
            for (const Database::Row& row : *rows) fresh[std::stoul(Text(row[0])) - 1] = Text(row[1]);
            if (fresh.size() == keypads.size()) return {};
            shortage = true;
            const std::string list = EscapeControl(ListPath());
            const std::size_t missing = keypads.size() - fresh.size();
            return Failure{kFileProblem,
                           "the serial list " + list + " has " + std::to_string(fresh.size()) + " free serial " +
                               (fresh.size() == 1 ? "number" : "numbers") + " for the " + std::to_string(keypads.size()) + " " +
                               (keypads.size() == 1 ? "keypad that needs one" : "keypads that need one") + ": " +
                               std::to_string(missing) + " missing",
                           "add " + std::to_string(missing) + " serial " + (missing == 1 ? "number" : "numbers") +
                               " with velnor serials init " + list + " --list LIST; velnor serials " + list +
                               " shows what became of the others"};
        };
        Done chosen = database_->Transaction(choose);
        for (int again = 0; again < 2 && shortage; ++again) chosen = database_->Transaction(choose);
        if (!chosen) return chosen.failure();
    }
    std::vector<GivenSerial> given;
    std::size_t next = 0;
    for (const std::optional<std::string>& serial : kept) given.push_back(serial ? GivenSerial{*serial, false} : GivenSerial{fresh[next++], true});
    return given;
}

Done PostgresLedger::Settle(const std::string& serial, SerialState outcome, const std::string& keypad, const LedgerWait&) {
    const Result<std::vector<Database::Row>> settled = database_->Run(
        "UPDATE velnor.serials SET state = $2, keypad = $3, settled = now() WHERE serial = $1 AND state = 'taking' "
        "AND host = $4 AND pid = $5::integer RETURNING serial",
        {serial, StateName(outcome), keypad, LedgerHost(), std::to_string(getpid())});
    if (!settled) {
        return Failure{settled.failure().status, "serial " + EscapeControl(serial) + " stays recorded as taking: " + settled.failure().message};
    }
    if (settled->empty()) {
        return Failure{kFileProblem, "serial " + EscapeControl(serial) + " is not recorded as taking by this velnor in " +
                                         EscapeControl(ListPath()) + "; its outcome was not recorded"};
    }
    return {};
}

Result<std::vector<Database::Row>> PostgresLedger::Rows() const {
    return database_->Run("SELECT serial, state, " VELNOR_UTC("coalesce(settled, taking_since)") ", host || ':' || pid, keypad, "
                          "state = 'taking' AND " VELNOR_WRITER_GONE " FROM velnor.serials ORDER BY position");
}

namespace {

// A row as the rules read an event of the record; none for a free serial.
std::optional<SerialEvent> EventOf(const Database::Row& row) {
    const std::string state = Text(row[1]);
    if (state == "free") return std::nullopt;
    const SerialState read = state == "taking" ? SerialState::Taking : state == "taken" ? SerialState::Taken : SerialState::Returned;
    const auto view = [](const Database::Value& value) { return value ? std::string_view(*value) : std::string_view(); };
    return SerialEvent{view(row[0]), read, view(row[2]), view(row[3]), view(row[4])};
}

// The serials of unknown outcome: left taking by a velnor of this host that no longer runs, or
// by one of another host that holds no connection to the database (its lock is free: it ended,
// or lost the database and is no longer working on them).
std::vector<PendingSerial> UnknownOf(const std::vector<Database::Row>& rows) {
    Unsettled unsettled;
    std::set<std::string> gone;
    for (const Database::Row& row : rows) {
        if (const std::optional<SerialEvent> event = EventOf(row)) unsettled.Add(*event);
        if (row[5] == "t") gone.insert(Text(row[3]));
    }
    const std::string host = LedgerHost();
    std::set<std::string> ended;
    for (const PendingSerial& pending : unsettled.Unknown(host, LedgerRuns)) ended.insert(pending.writer);
    return unsettled.Unknown([&](const std::string& writer) { return HostOf(writer) == host ? ended.count(writer) != 0 : gone.count(writer) != 0; });
}

}  // namespace

std::vector<std::string> PostgresLedger::Unknown() const {
    std::vector<std::string> serials;
    const Result<std::vector<Database::Row>> rows = Rows();
    if (!rows) return serials;  // the next Take's to report
    for (const PendingSerial& pending : UnknownOf(*rows)) serials.push_back(pending.serial);
    return serials;
}

Result<SerialsState> PostgresLedger::State() const {
    if (const Done checked = Check(); !checked) return checked.failure();
    const Result<std::vector<Database::Row>> rows = Rows();
    if (!rows) return rows.failure();
    std::vector<std::string> list;
    LastStates states;
    for (const Database::Row& row : *rows) {
        list.push_back(Text(row[0]));
        if (const std::optional<SerialEvent> event = EventOf(row)) states.Add(*event);
    }
    SerialsState state;
    state.unknown = UnknownOf(*rows);
    state.counts = CountSerials(list, states, state.unknown);
    return state;
}

namespace {

// Settles unknown serials in one transaction, each only while it is still the same taking.
Done SettleUnknown(Database& database, const std::vector<PendingSerial>& unknown, const std::vector<PendingSerial>& settled,
                   SerialState outcome) {
    return database.Transaction([&]() -> Done {
        for (const PendingSerial& serial : settled) {
            const auto was = std::find_if(unknown.begin(), unknown.end(), [&](const PendingSerial& p) { return p.serial == serial.serial; });
            const Result<std::vector<Database::Row>> done = database.Run(
                "UPDATE velnor.serials SET state = $2, keypad = $3, settled = now() "
                "WHERE serial = $1 AND state = 'taking' AND host || ':' || pid = $4 RETURNING serial",
                {serial.serial, StateName(outcome), serial.keypad, was->writer});
            if (!done) return done.failure();
            if (done->empty()) return Failure{kFileProblem, "serial " + EscapeControl(serial.serial) + " changed meanwhile; nothing was settled"};
        }
        return {};
    });
}

}  // namespace

Result<SerialsState> PostgresLedger::Resolve(const std::vector<std::pair<std::string, std::string>>& held) {
    Result<SerialsState> before = State();
    if (!before) return before;
    std::vector<PendingSerial> settled;
    for (const PendingSerial& pending : before->unknown) {
        const auto holder = std::find_if(held.begin(), held.end(), [&](const auto& keypad) { return keypad.second == pending.serial; });
        if (holder != held.end()) settled.push_back({pending.serial, LedgerNow(), LedgerWriter(), holder->first});
    }
    if (const Done done = SettleUnknown(*database_, before->unknown, settled, SerialState::Taken); !done) return done.failure();
    Result<SerialsState> state = State();
    if (state) state->settled = std::move(settled);
    return state;
}

Result<SerialsState> PostgresLedger::Return(const std::vector<std::string>& serials) {
    Result<SerialsState> before = State();
    if (!before) return before;
    const std::string by = LedgerOperator();
    std::vector<PendingSerial> settled;
    for (const std::string& serial : serials) {
        const bool unknown = std::any_of(before->unknown.begin(), before->unknown.end(), [&](const PendingSerial& p) { return p.serial == serial; });
        if (!unknown) {
            const Result<std::vector<Database::Row>> row = database_->Run("SELECT state FROM velnor.serials WHERE serial = $1", {serial});
            if (!row) return row.failure();
            const std::string last = row->empty() ? "" : Text(row->front()[0]);
            const char* what = last.empty() || last == "free" ? "it was never taken"
                               : last == "taken"              ? "it is taken"
                               : last == "returned"           ? "it is returned already"
                                                              : "a velnor that still runs is at work on it";
            return Failure{kFileProblem, "serial " + EscapeControl(serial) + " has no unknown outcome in " + EscapeControl(ListPath()) +
                                             " (" + what + "); nothing was returned"};
        }
        if (std::none_of(settled.begin(), settled.end(), [&](const PendingSerial& p) { return p.serial == serial; })) {
            settled.push_back({serial, LedgerNow(), LedgerWriter(), by});
        }
    }
    if (const Done done = SettleUnknown(*database_, before->unknown, settled, SerialState::Returned); !done) return done.failure();
    Result<SerialsState> state = State();
    if (state) state->settled = std::move(settled);
    return state;
}

Result<std::size_t> PostgresLedger::Init(const std::vector<std::string>& list) {
    if (const Done made = database_->Schema(true); !made) return made.failure();
    if (list.empty()) return std::size_t{0};
    const Result<std::vector<Database::Row>> added = database_->Run(
        "INSERT INTO velnor.serials (serial, position) "
        "SELECT serial, (SELECT coalesce(max(position), 0) FROM velnor.serials) + n "
        "FROM unnest($1::text[]) WITH ORDINALITY AS l (serial, n) ON CONFLICT (serial) DO NOTHING RETURNING serial",
        {ArrayOf(list)});
    if (!added) return added.failure();
    return added->size();
}

}  // namespace velnorcli
