#include "Database.h"

#include <libpq-fe.h>

#include <algorithm>
#include <memory>

#include "SchemaSql.h"
#include "Text.h"

namespace velnorcli {

namespace {

using ResultPtr = std::unique_ptr<PGresult, decltype(&PQclear)>;

// libpq's message on one line.
std::string Said(const char* message) {
    std::string said = message != nullptr ? message : "";
    std::replace(said.begin(), said.end(), '\n', ' ');
    return TrimmedRight(said);
}

}  // namespace

bool IsDatabaseUri(std::string_view text) { return text.starts_with("postgresql://") || text.starts_with("postgres://"); }

std::string ShownUri(const std::string& uri) {
    // Secrets are left out wherever they were given: user:PASSWORD@host, ?password= and the
    // passphrase of a TLS client key, ?sslpassword=.
    const std::size_t question = uri.find('?');
    std::string base = uri.substr(0, question);
    const std::size_t authority = base.find("://") + 3;
    const std::size_t at = base.rfind('@', base.find('/', authority));
    const std::size_t colon = base.find(':', authority);
    if (at != std::string::npos && at >= authority && colon < at) base.erase(colon, at - colon);
    if (question == std::string::npos) return base;
    std::string query;
    for (std::size_t start = question + 1; start <= uri.size();) {
        const std::size_t end = std::min(uri.find('&', start), uri.size());
        const std::string item = uri.substr(start, end - start);
        if (!item.starts_with("password=") && !item.starts_with("sslpassword=")) query += (query.empty() ? "" : "&") + item;
        start = end + 1;
    }
    return query.empty() ? base : base + "?" + query;
}

Database::Database(std::string uri, std::string writer)
    : uri_(std::move(uri)), shown_(ShownUri(uri_)), writer_(std::move(writer)) {}

Database::~Database() {
    if (connection_ != nullptr) PQfinish(connection_);
}

Failure Database::Problem(const std::string& what) const {
    return Failure{kFileProblem, "the database " + shown_ + ": " + what};
}

Done Database::Connect() {
    if (connection_ != nullptr && PQstatus(connection_) == CONNECTION_OK) return {};
    // A new connection would run the rest of a transaction without its start, which the server
    // rolled back: its COMMIT would seem to succeed.
    if (inTransaction_) return Problem("the connection was lost in a transaction; the database did not keep it");
    if (connection_ != nullptr) {
        PQreset(connection_);
    } else {
        // The URI's own settings win over these (they come later).
        const char* const keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
        const char* const values[] = {"10", "velnor", uri_.c_str(), nullptr};
        connection_ = PQconnectdbParams(keys, values, 1);
    }
    if (connection_ == nullptr) return Problem("cannot connect: out of memory");
    PQsetNoticeProcessor(connection_, [](void*, const char*) {}, nullptr);  // the server's notes are not velnor's
    if (PQstatus(connection_) != CONNECTION_OK) return Problem("cannot connect: " + Said(PQerrorMessage(connection_)));
    if (writer_.empty()) return {};
    // Held until the connection ends; not waited for: a lock still held by this velnor's own
    // lost connection (its server process not yet gone) keeps its serials seen as worked on.
    const char* const writer = writer_.c_str();
    const ResultPtr locked(PQexecParams(connection_, "SELECT pg_try_advisory_lock(7407, hashtext($1))", 1, nullptr, &writer, nullptr, nullptr, 0),
                           &PQclear);
    if (!locked || PQresultStatus(locked.get()) != PGRES_TUPLES_OK) {
        return Problem(Said(locked ? PQresultErrorMessage(locked.get()) : PQerrorMessage(connection_)));
    }
    return {};
}

Result<std::vector<Database::Row>> Database::Run(const char* sql, const std::vector<Value>& parameters) {
    const std::lock_guard lock(using_);
    if (const Done connected = Connect(); !connected) return connected.failure();
    std::vector<const char*> values;
    for (const Value& value : parameters) values.push_back(value ? value->c_str() : nullptr);
    const ResultPtr result(PQexecParams(connection_, sql, static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                                        nullptr, 0),
                           &PQclear);
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const char* said = result ? PQresultErrorMessage(result.get()) : PQerrorMessage(connection_);
        return Problem(Said(said));
    }
    std::vector<Row> rows(static_cast<std::size_t>(PQntuples(result.get())));
    for (int r = 0; r < PQntuples(result.get()); ++r) {
        for (int c = 0; c < PQnfields(result.get()); ++c) {
            rows[static_cast<std::size_t>(r)].push_back(PQgetisnull(result.get(), r, c) != 0 ? Value()
                                                                                           : Value(PQgetvalue(result.get(), r, c)));
        }
    }
    return rows;
}

Done Database::Script(const char* sql) {
    const std::lock_guard lock(using_);
    if (const Done connected = Connect(); !connected) return connected.failure();
    const ResultPtr made(PQexec(connection_, sql), &PQclear);
    if (!made || PQresultStatus(made.get()) != PGRES_COMMAND_OK) {
        return Problem(Said(made ? PQresultErrorMessage(made.get()) : PQerrorMessage(connection_)));
    }
    return {};
}

Done Database::Transaction(const std::function<Done()>& work) {
    const std::lock_guard lock(using_);
    if (Result<std::vector<Row>> begun = Run("BEGIN"); !begun) return begun.failure();
    inTransaction_ = true;
    Done done = work();
    const Result<std::vector<Row>> ended = Run(done ? "COMMIT" : "ROLLBACK");
    inTransaction_ = false;
    return !ended && done ? Done(ended.failure()) : done;
}

Done Database::Schema(bool create) {
    const auto readVersion = [this]() -> Result<int> {
        const Result<std::vector<Row>> made = Run("SELECT to_regclass('velnor.schema_version') IS NOT NULL");
        if (!made) return made.failure();
        if (made->front().front() != "t") return 0;
        const Result<std::vector<Row>> read = Run("SELECT coalesce(max(version), 0) FROM velnor.schema_version");
        if (!read) return read.failure();
        return std::stoi(read->front().front().value_or("0"));
    };
    // Read (and upgraded) under a lock of the transaction that needs no right, so that two
    // velnor at once upgrade once; a schema that is current needs no lock.
    if (const Result<int> current = readVersion(); !current || *current == kSchemaVersion) return current ? Done() : current.failure();
    return Transaction([&]() -> Done {
        if (Result<std::vector<Row>> locked = Run("SELECT pg_advisory_xact_lock(7406, 1)"); !locked) return locked.failure();
        const Result<int> read = readVersion();
        if (!read) return read.failure();
        const int version = *read;
        if (version > kSchemaVersion) {
            return Failure{kFileProblem,
                           "the database " + shown_ + " holds velnor's schema version " + std::to_string(version) +
                               ", newer than this velnor knows (" + std::to_string(kSchemaVersion) + "); nothing was changed",
                           "use the velnor that made it, or a newer one"};
        }
        if (version == 0 && !create) {
            return Failure{kFileProblem, "the database " + shown_ + " holds no velnor schema",
                           "velnor serials init " + shown_ + " makes it"};
        }
        for (int next = version + 1; next <= kSchemaVersion; ++next) {
            if (const Done made = Script(kSchemaSql[next - 1]); !made) {
                return Failure{made.failure().status, made.failure().message + " (upgrading velnor's schema to version " +
                                                          std::to_string(next) + "; nothing was changed)"};
            }
            if (Result<std::vector<Row>> noted = Run("INSERT INTO velnor.schema_version (version) VALUES ($1::integer)",
                                                     {std::to_string(next)});
                !noted) {
                return noted.failure();
            }
        }
        return {};
    });
}

}  // namespace velnorcli
