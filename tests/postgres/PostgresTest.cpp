// The serial rules on a list file and on a PostgreSQL database, the same table for both; the
// database's schema made, upgraded and refused when newer; hostile text kept as data; and eight
// velnor processes sharing one database. The server is the suite's own (server.sh).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <thread>

#include "SerialLedger.h"
#include "db/Database.h"
#include "StationLog.h"
#include "db/PostgresLedger.h"
#include "support/SimFolder.h"

namespace velnorcli {
namespace {

using Rows = std::vector<Database::Row>;

// The server's folder; "" with the reason in `why` when there is none (the tests skip, or fail
// where VELNOR_REQUIRE_POSTGRESQL=1).
std::string Server(std::string& why) {
    const char* folder = std::getenv("VELNOR_TEST_POSTGRES");
    std::ifstream skipped(std::string(folder != nullptr ? folder : "") + "/skipped");
    if (folder != nullptr && !skipped) return folder;
    why = "no test server";
    std::getline(skipped, why);
    const char* required = std::getenv("VELNOR_REQUIRE_POSTGRESQL");
    if (required != nullptr && required == std::string("1")) ADD_FAILURE() << why << ", but VELNOR_REQUIRE_POSTGRESQL=1";
    return "";
}
#define VELNOR_SERVER(folder)               \
    std::string why;                        \
    const std::string folder = Server(why); \
    if (folder.empty()) GTEST_SKIP() << why

// An empty database of this name owned by the role velnor (made by the cluster's owner); its URI.
std::string FreshDatabase(const std::string& folder, const std::string& name) {
    Database admin("postgresql:///postgres?host=" + folder + "&user=admin");
    for (const std::string& sql : {"DROP DATABASE IF EXISTS " + name + " WITH (FORCE)", "CREATE DATABASE " + name + " OWNER velnor"}) {
        const Result<Rows> done = admin.Run(sql.c_str());  // names of the tests' own, no input
        EXPECT_TRUE(done) << done.failure().message;
    }
    return "postgresql://velnor:pass%27word@/" + name + "?host=" + folder;
}

std::string One(Database& database, const char* sql, const std::vector<Database::Value>& parameters = {}) {
    const Result<Rows> rows = database.Run(sql, parameters);
    if (!rows) return rows.failure().message;
    return rows->empty() ? "(none)" : rows->front().front().value_or("(null)");
}

// One step on a ledger: what it gives, or the failure's message with the list's names as #.
std::string Step(SerialLedger& ledger, const std::string& target, const std::string& op, const std::vector<std::string>& w) {
    const auto shown = [&](const Failure& failure) {
        std::string said = failure.message;
        for (const std::string& name : {ledger.RecordPath(), ledger.ListPath()}) {
            for (std::size_t at; (at = said.find(name)) != std::string::npos;) said.replace(at, name.size(), "#");
        }
        return said;
    };
    std::string got;
    if (op == "taken" || op == "returned") {
        const Done done = ledger.Settle(w[0], op == "taken" ? SerialState::Taken : SerialState::Returned, w[1]);
        return done ? "" : shown(done.failure());
    } else if (op == "give") {
        std::vector<SerialClaim> claims;
        for (std::size_t i = 0; i < w.size(); i += 2) {  // NAME[|EARLIER NAME], the serial it holds
            const std::size_t bar = std::min(w[i].find('|'), w[i].size());
            claims.push_back({{w[i].substr(0, bar), w[i].substr(std::min(bar + 1, w[i].size()))}, w[i + 1]});
        }
        const Result<std::vector<GivenSerial>> given = ledger.Give(claims, true);
        for (const GivenSerial& one : given ? *given : std::vector<GivenSerial>{}) got += one.serial + (one.fresh ? " fresh " : " kept ");
        return given ? got : shown(given.failure());
    } else if (op == "lost") {  // a velnor takes one and dies
        const pid_t child = fork();
        if (child == 0) _exit(OpenSerialLedger(target, "st")->Take(w[0]) ? 0 : 1);
        int status = 0;
        waitpid(child, &status, 0);
        return std::to_string(status);
    } else if (op == "threads") {  // as many threads taking at once
        std::vector<std::string> taken(std::stoul(w[0]));
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < taken.size(); ++i) threads.emplace_back([&, i] { taken[i] = *ledger.Take("t" + std::to_string(i)); });
        for (std::thread& thread : threads) thread.join();
        return std::to_string(std::set<std::string>(taken.begin(), taken.end()).size()) + " distinct";
    }
    const Result<SerialsState> state = op == "state" ? ledger.State() : op == "return" ? ledger.Return({w[0]}) : ledger.Resolve({{w[0], w[1]}});
    if (!state) return shown(state.failure());
    const SerialCounts c = state->counts;
    for (const std::size_t n : {c.free, c.returned, c.taken, c.taking, c.unknown}) got += op == "state" ? std::to_string(n) + " " : "";
    for (const PendingSerial& p : op == "state" ? state->unknown : state->settled) got += p.serial + "/" + p.keypad;
    return got;
}

TEST(SerialLedgers, TheRulesAreTheSameInAListFileAndInADatabase) {
    // Serials and keypads with quotes, backslashes and semicolons stay data.
    const std::vector<std::string> s = {"1'01", "1\"02", "1;03", "1\\04", "1$05", "1)06", "2001", "2002", "2003", "2004", "2005", "2006"};
    const std::string kp = "kp'1;\\\"";
    const struct {
        std::string op;
        std::vector<std::string> words;
        std::string expected;
    } kSteps[] = {
        {"give", {kp, ""}, s[0] + " fresh "},
        {"taken", {s[0], kp}, ""},
        // Kept by the keypad the record names (here by its earlier name), once; the others fresh.
        {"give", {"new|" + kp, s[0], "kp9", s[0], kp, s[0], "kp2", ""}, s[0] + " kept " + s[1] + " fresh " + s[2] + " fresh " + s[3] + " fresh "},
        {"returned", {s[3], kp}, ""},
        {"returned", {s[1], "kp9"}, ""},
        {"taken", {s[2], "kp2"}, ""},
        {"lost", {"kp-lost"}, "0"},  // takes s[1]: returned, it goes out before the fresh ones after it
        {"state", {}, "8 1 2 0 1 " + s[1] + "/kp-lost"},  // free, returned, taken, taking, unknown
        {"give", {"kp3", ""}, s[3] + " fresh "},  // the unknown one is never handed out again
        {"return", {s[0]}, "serial " + s[0] + " has no unknown outcome in # (it is taken); nothing was returned"},
        {"resolve", {"kp7", s[1]}, s[1] + "/kp7"},
        {"threads", {"6"}, "6 distinct"},
        {"give", {"a", "", "b", "", "c", ""}, "the serial list # has 2 free serial numbers for the 3 keypads that need one: 1 missing"},
        {"state", {}, "2 0 3 7 0 "},
    };
    const velnortest::TempFolder files;
    std::string list;
    for (const std::string& serial : s) list += serial + "\n";
    std::vector<std::string> targets = {files.Write("serials.txt", list)};
    files.Write("serials.txt.taken", "2006\ttak");  // torn by a crash; ended before the next line is added
    std::string why;
    if (const std::string folder = Server(why); !folder.empty()) {
        targets.push_back(FreshDatabase(folder, "rules"));
        ASSERT_TRUE(PostgresLedger(targets.back(), "st").Init(s));
    }
    for (const std::string& target : targets) {
        const std::unique_ptr<SerialLedger> ledger = OpenSerialLedger(target, "st");
        ASSERT_TRUE(ledger->Check());
        for (const auto& step : kSteps) EXPECT_EQ(Step(*ledger, target, step.op, step.words), step.expected) << target << ": " << step.op;
    }
    if (targets.size() == 1) GTEST_SKIP() << "the list file only: " << why;
}

TEST(SerialLedgers, TheSchemaIsMadeUpgradedInOneStepAndRefusedWhenNewer) {
    VELNOR_SERVER(folder);
    const std::string version1 = velnortest::ReadFile(std::string(VELNOR_SQL_DIR) + "/1-serials.sql");
    // What is in the database before, and what a station's check says.
    const struct {
        const char* what;
        std::vector<std::string> before;
        const char* check;
        const char* version;  // after
    } kCases[] = {
        {"empty", {}, "the database # holds no velnor schema", "(none)"},
        {"version 1", {version1, "INSERT INTO velnor.schema_version VALUES (1)"}, "", "2"},
        {"version 3", {version1, "INSERT INTO velnor.schema_version VALUES (3)"},
         "the database # holds velnor's schema version 3, newer than this velnor knows (2); nothing was changed", "3"},
        {"version 1, a table in the way of version 2",
         {version1, "INSERT INTO velnor.schema_version VALUES (1)", "CREATE TABLE velnor.audit (x integer)"},
         "the database #: ERROR:  relation \"audit\" already exists (upgrading velnor's schema to version 2; nothing was changed)", "1"},
    };
    for (const auto& c : kCases) {
        const std::string uri = FreshDatabase(folder, "schema");
        Database database(uri);
        for (const std::string& sql : c.before) ASSERT_TRUE(database.Script(sql.c_str())) << c.what;
        const Done checked = PostgresLedger(uri, "st").Check();
        std::string said = checked ? "" : checked.failure().message;
        if (const std::size_t at = said.find(ShownUri(uri)); at != std::string::npos) said.replace(at, ShownUri(uri).size(), "#");
        EXPECT_EQ(said, c.check) << c.what;
        const bool made = One(database, "SELECT to_regclass('velnor.schema_version')::text") != "(null)";
        EXPECT_EQ(made ? One(database, "SELECT max(version)::text FROM velnor.schema_version") : "(none)", c.version) << c.what;
    }
}

TEST(SerialLedgers, EightVelnorProcessesSharingADatabaseNeverGiveASerialTwice) {
    VELNOR_SERVER(folder);
    const std::string uri = FreshDatabase(folder, "line");
    std::vector<std::string> list;
    for (int i = 0; i < 1000; ++i) list.push_back("S-" + std::to_string(1000 + i));  // one list for the whole line
    ASSERT_TRUE(PostgresLedger(uri, "init").Init(list));
    constexpr int kStations = 8, kKeypads = 4;
    std::string config;
    for (int k = 0; k < kKeypads; ++k) config += "device location=1-" + std::to_string(k + 2) + "\nset firmware V6.12\n";
    std::vector<std::unique_ptr<velnortest::SimFolder>> sims;
    std::vector<std::unique_ptr<velnortest::Running>> runs;
    for (int i = 0; i < kStations; ++i) {
        sims.push_back(std::make_unique<velnortest::SimFolder>(config));
        runs.emplace_back(new velnortest::Running(sims.back()->Start({"restore", "--all", std::string(VELNOR_EXAMPLES_DIR) + "/backup-6-keys.txt",
                                                                      "--serials", uri, "--log", uri, "--station", "st" + std::to_string(i)})));
    }
    std::set<std::string> flashed;  // every keypad's serial, as its flash holds it
    for (int i = 0; i < kStations; ++i) {
        const velnortest::Result run = runs[i]->Wait();
        EXPECT_EQ(run.status, 0) << run.err;
        for (int k = 0; k < kKeypads; ++k) flashed.insert(sims[i]->State()["1-" + std::to_string(k + 2) + ".flash.serial"]);
    }
    std::string expected;
    for (const std::string& serial : flashed) expected += (expected.empty() ? "" : " ") + serial;
    Database database(uri);  // its record of them
    EXPECT_EQ(One(database, "SELECT string_agg('\"' || serial || '\"', ' ' ORDER BY serial) FROM velnor.serials WHERE state = 'taken'"), expected);
    EXPECT_EQ(flashed.size(), std::size_t{kStations * kKeypads});
    EXPECT_EQ(One(database, "SELECT count(DISTINCT serial_after)::text FROM velnor.audit WHERE result = 'updated'"), "32");
    // Hostile text in the audit record reads back exactly.
    const std::string hostile = "{\"time\":\"2026-12-07T10:00:00Z\",\"message\":\"a'b\\\\c;\\u0001\\u001b\\\"d\"}";
    StationLog log({uri}, "st;'\\\x01");
    ASSERT_TRUE(log.Open());
    ASSERT_TRUE(log.Append(hostile));
    EXPECT_EQ(One(database, "SELECT message || station FROM velnor.audit WHERE line::text = $1", {hostile}), "a'b\\c;\x01\x1b\"dst;'\\\x01");
}

// A database of this name whose schema its owner made with these serials and whose stations'
// role holds the grants of rights.sql, and no more; the URI of that role.
std::string Granted(const std::string& folder, const std::string& name, const std::vector<std::string>& serials) {
    const std::string owner = FreshDatabase(folder, name);
    EXPECT_TRUE(PostgresLedger(owner, "init").Init(serials));
    EXPECT_TRUE(Database(owner).Script(velnortest::ReadFile(std::string(VELNOR_SQL_DIR) + "/rights.sql").c_str()));
    return "postgresql://velnor_station@/" + name + "?host=" + folder;
}

const std::string kBackup = std::string(VELNOR_EXAMPLES_DIR) + "/backup-8-keys.txt";

// Killed at each step, a restore or a station (as the stations' role) leaves the serial recorded
// as taking, no audit row, and the serial unknown: never handed out again; --resolve settles it
// when the keypad holds it.
TEST(SerialLedgers, AVelnorKilledAtAnyStepLeavesItsSerialUnknownUntilResolvedWithTheDocumentedRightsOnly) {
    VELNOR_SERVER(folder);
    // The step in progress gets no answer (or the keypad stays away), so that velnor is there when
    // killed; whether the serial was recorded as taking then.
    const struct { const char* step; std::string faults; const char* awaited; bool recorded; std::string command = "restore"; } kCases[] = {
        {"reading the status, before a serial is taken", "fault 1 noreply\n", "01", false},
        {"writing the first setting", "fault 6 noreply\n", "06", true},
        {"waiting for the restart", " reset_absent_ms=60000", "0A", true},
        {"a station writing the serial", "fault 14 noreply\n", "0E", true, "station"},
        {"a station waiting for the restart", " reset_absent_ms=60000", "0A", true, "station"},
    };
    for (const auto& c : kCases) {
        const bool away = c.faults.front() == ' ', station = c.command == "station";
        const velnortest::SimFolder sim("device path=kp1 name=kp1" + (away ? c.faults : "") + "\nset firmware V7.1\n" + (away ? "" : c.faults));
        const std::string uri = Granted(folder, "kills", {"2001", "2002"});
        velnortest::Running velnor = sim.Start({c.command, station ? "--once" : "--timeout", station ? "1" : "60", "--serials", uri, "--log", uri, kBackup});
        ASSERT_TRUE(sim.AwaitCommand(c.awaited)) << c.step;
        velnor.Signal(SIGKILL);
        EXPECT_EQ(velnor.Wait().status, 128 + SIGKILL);
        Database owner("postgresql://velnor@/kills?host=" + folder);
        EXPECT_EQ(One(owner, "SELECT string_agg(serial || ' ' || state, ', ') || ', audit ' || (SELECT count(*) FROM velnor.audit) "
                             "FROM velnor.serials WHERE state <> 'free'"),
                  c.recorded ? "2001 taking, audit 0" : "(null)") << c.step;
        // Settled when the keypad holds it, else left unknown.
        const velnortest::Result resolved = sim.Run({"serials", uri, "--resolve", "--json"});
        const bool held = resolved.out.find(R"("settled":[{"serial":"2001","state":"taken")") != std::string::npos;
        const bool unknown = resolved.out.find(R"("unknown":[{"serial":"2001")") != std::string::npos;
        EXPECT_TRUE(resolved.status == 0 && unknown == (c.recorded && !held) && (c.recorded || !held)) << c.step << resolved.out;
        // Never handed out again.
        EXPECT_EQ(*OpenSerialLedger(uri, "st")->Take("kp9"), c.recorded ? "2002" : "2001") << c.step;
    }
}

// The server stopped while a station writes a keypad and started again: that keypad's restore
// finishes and says its serial stays taking (unknown once the station ends) and its audit row
// lost; restores meanwhile write nothing and show no password; the station serves the next
// keypad once the server is back (as the stations' role). Then another host's velnor takes a
// serial and ends.
TEST(SerialLedgers, ADatabaseStoppedAndStartedMidRunLosesNoOutcomeTakesNoSerialWhileAwayAndTheStationCarriesOn) {
    VELNOR_SERVER(shared);
    // A server of its own, which the other tests go on without.
    const std::string server = std::string(VELNOR_POSTGRES_SERVER) + " ", folder = shared + "-restart";
    ASSERT_EQ(std::system((server + "start " + folder + " >/dev/null").c_str()), 0);
    const std::string uri = Granted(folder, "restart", {"R1", "R2", "R3"}), owner = "postgresql://velnor:pass%27word@/restart?host=" + folder;
    const std::string shown = "postgresql://velnor@/restart?host=" + folder;
    const velnortest::SimFolder sim("device path=kp1 name=kp1 reset_absent_ms=200\nset firmware V7.1\nfault 6 delay 3000\n"
                                    "device path=kp2 name=kp2 reset_absent_ms=200 appear_after_ms=15000\nset firmware V7.1\n");
    velnortest::Running station = sim.Start({"station", "--once", "2", "--serials", uri, "--log", uri, "--log", sim.Path("log"), kBackup});
    ASSERT_TRUE(sim.AwaitCommand("06"));
    ASSERT_EQ(std::system((server + "pause " + folder).c_str()), 0);
    const std::pair<const char*, std::string> kMeanwhile[] = {
        {"--serials", "velnor: error: the database " + shown + ": cannot connect: "},
        {"--log", "velnor: error: cannot append to the log: the database " + shown + ": cannot connect: "},
    };
    for (const auto& [option, said] : kMeanwhile) {
        const velnortest::SimFolder other("device path=kp3 name=kp3\nset firmware V7.1\n");
        const velnortest::Result run = other.Run({"restore", option, owner, kBackup});
        EXPECT_TRUE(run.status == 7 && run.err.find(said) != std::string::npos && run.err.find("pass") == std::string::npos) << run.err;
        EXPECT_EQ(other.CommandsSent(), std::vector<std::string>{}) << option;
    }
    for (int i = 0; i < 600 && sim.Read("log").empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(std::system((server + "resume " + folder).c_str()), 0);
    const velnortest::Result run = station.Wait();
    EXPECT_EQ(run.status, 7) << run.out;
    for (const std::string said : {"serial R1 stays recorded as taking: the database ", "; cannot append to the log: the database "}) {
        EXPECT_NE(run.out.find(said), std::string::npos) << run.err << run.out;
    }
    const std::string log = sim.Read("log");
    EXPECT_TRUE(log.find(R"("serial_after":"R1")") != std::string::npos && log.find(R"("serial_after":"R2")") != std::string::npos) << log;
    Database database(owner);
    EXPECT_EQ(One(database, "SELECT string_agg(serial || ' ' || state, ', ' ORDER BY serial) || ', audit ' || "
                            "(SELECT string_agg(serial_after, ' ') FROM velnor.audit) FROM velnor.serials WHERE state <> 'free'"),
              "R1 taking, R2 taken, audit R2");
    EXPECT_NE(sim.Run({"serials", uri, "--resolve"}).out.find("settled: R1 taken by keypad kp1"), std::string::npos);
    // A taking of another host is unknown once no session holds the lock of its velnor.
    auto far = std::make_unique<Database>(uri, "far-host:42");
    EXPECT_EQ(One(*far, "UPDATE velnor.serials SET state = 'taking', host = 'far-host', pid = 42 WHERE serial = 'R3' RETURNING serial"), "R3");
    PostgresLedger here(uri, "st");
    EXPECT_EQ(here.Unknown(), std::vector<std::string>{});
    far.reset();  // its server process ends soon after
    for (int i = 0; i < 300 && here.Unknown().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(here.Unknown(), std::vector<std::string>{"R3"});
    EXPECT_EQ(ShownUri("postgresql://u:se%40cr@db:5433/line?password=x&sslmode=require&sslpassword=k&password=y"), "postgresql://u@db:5433/line?sslmode=require");
    EXPECT_EQ(std::system((server + "stop " + folder).c_str()), 0);
}

}  // namespace
}  // namespace velnorcli
