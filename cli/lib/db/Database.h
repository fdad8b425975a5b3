// A PostgreSQL database given by a connection URI (postgresql://... or postgres://...), through
// libpq: its URI, environment variables (PGHOST, PGSERVICE, ...), password file and TLS settings
// work as they do for psql. Statements are sent with their parameters apart (no text is ever
// put into SQL), one at a time per connection, each a short transaction of its own unless
// several are run in one (Transaction). A connection that was lost is made again by the next
// statement, never by retrying one whose outcome is unknown. A velnor that records serials as
// taking holds, on each connection it makes, a session lock named by its writer (HOST:PID): the
// database itself then tells, to every host, whether that velnor is still connected.
#ifndef VELNOR_CLI_DB_DATABASE_H
#define VELNOR_CLI_DB_DATABASE_H

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Result.h"

struct pg_conn;

namespace velnorcli {

// Whether --serials or --log names a database rather than a file.
bool IsDatabaseUri(std::string_view text);
// The URI as velnor shows it: without its password (also one given as ?password=).
std::string ShownUri(const std::string& uri);

// The schema version this velnor knows, and its statements by version (1 first).
constexpr int kSchemaVersion = 2;

// SQL true when no session holds the lock of the writer of a row of velnor.serials (its velnor
// has no connection: it ended, or lost the database). pg_locks needs no right to read.
#define VELNOR_WRITER_GONE                                                                                      \
    "NOT EXISTS (SELECT 1 FROM pg_locks AS l WHERE l.locktype = 'advisory' AND l.classid = 7407 AND l.objsubid = 2 " \
    "AND l.objid = hashtext(serials.host || ':' || serials.pid)::oid AND l.granted)"

class Database {
public:
    using Value = std::optional<std::string>;  // none: NULL
    using Row = std::vector<Value>;

    // `writer`: HOST:PID, whose lock each connection holds (none when empty).
    explicit Database(std::string uri, std::string writer = "");
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // One statement with its parameters ($1, ...), its rows as text. A failure says what the
    // database answered (status 7), with the URI shown without its password.
    Result<std::vector<Row>> Run(const char* sql, const std::vector<Value>& parameters = {});
    // Several statements of velnor's own (its schema), without parameters.
    Done Script(const char* sql);
    // Statements run by `work` in one transaction: committed when it succeeds, else rolled back.
    Done Transaction(const std::function<Done()>& work);

    // The schema is there at this velnor's version; an older one is upgraded (in one
    // transaction), a newer one refused. `create`: made when missing, else a missing schema is
    // refused with the hint to make it.
    Done Schema(bool create);

    const std::string& Shown() const { return shown_; }

private:
    Done Connect();
    Failure Problem(const std::string& what) const;

    std::string uri_;
    std::string shown_;
    std::string writer_;
    pg_conn* connection_ = nullptr;
    std::recursive_mutex using_;  // one statement (or transaction) at a time
    bool inTransaction_ = false;  // between BEGIN and its end: no new connection
};

}  // namespace velnorcli

#endif
