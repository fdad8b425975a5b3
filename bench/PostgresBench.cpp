// Figures of the serial ledger and the audit record in PostgreSQL: the time of one serial's
// allocation (Take) while 8 stations allocate at once, each with its own connection (median and
// 99th percentile; target p99 <= 20 ms on a local server), and of the two questions quality asks
// of 100,000 audit rows: every keypad given serial S, the failures of the last hour (target
// <= 10 ms each). The database is emptied of velnor's schema first.
//   bench_postgres URI [serials per station]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "db/Database.h"
#include "db/PostgresLedger.h"

namespace {

using Clock = std::chrono::steady_clock;
using velnorcli::Database;

double Ms(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

void Print(const char* what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%-52s median %7.2f ms  p99 %7.2f ms  (%zu)\n", what, times[times.size() / 2], times[times.size() * 99 / 100], times.size());
}

bool Check(const velnorcli::Done& done) {
    if (!done) std::fprintf(stderr, "bench_postgres: %s\n", done.failure().message.c_str());
    return static_cast<bool>(done);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_postgres URI [serials per station]\n");
        return 2;
    }
    const std::string uri = argv[1];
    const int each = argc > 2 ? std::atoi(argv[2]) : 250;
    constexpr int kStations = 8;
    Database database(uri);
    if (!Check(database.Script("DROP SCHEMA IF EXISTS velnor CASCADE"))) return 1;
    std::vector<std::string> list;
    for (int i = 0; i < kStations * each; ++i) list.push_back(std::to_string(10000000 + i));
    const velnorcli::Result<std::size_t> made = velnorcli::PostgresLedger(uri, "bench").Init(list);
    if (!made) return Check(made.failure()) ? 0 : 1;

    std::vector<std::vector<double>> times(kStations);
    std::vector<std::thread> stations;
    for (int s = 0; s < kStations; ++s) {
        stations.emplace_back([&, s] {
            velnorcli::PostgresLedger ledger(uri, "station-" + std::to_string(s));
            for (int i = 0; i < each; ++i) {
                const std::string keypad = "1-2." + std::to_string(i % 8);
                const Clock::time_point start = Clock::now();
                const velnorcli::Result<std::string> taken = ledger.Take(keypad);
                times[s].push_back(Ms(Clock::now() - start));
                if (!taken || !ledger.Settle(*taken, velnorcli::SerialState::Taken, keypad)) std::abort();
            }
        });
    }
    for (std::thread& station : stations) station.join();
    std::vector<double> all;
    for (const std::vector<double>& station : times) all.insert(all.end(), station.begin(), station.end());
    Print("allocation, 8 stations at once", all);

    // 100,000 audit rows over a day, one in 20 a failure, each serial given twice.
    if (!Check(database.Script(
            "INSERT INTO velnor.audit (time, station, command, serial_after, result, status, line) "
            "SELECT now() - (n % 86400) * interval '1 second', 'station-' || n % 8, 'restore', (10000000 + n / 2)::text, "
            "CASE WHEN n % 20 = 0 THEN 'failed' ELSE 'updated' END, CASE WHEN n % 20 = 0 THEN 6 ELSE 0 END, '{}' "
            "FROM generate_series(1, 100000) AS n; ANALYZE velnor.audit"))) {
        return 1;
    }
    const std::pair<const char*, const char*> kQuestions[] = {
        {"every keypad given serial S (100,000 rows)", "SELECT * FROM velnor.audit WHERE serial_after = $1 ORDER BY time"},
        {"failures of the last hour (100,000 rows)",
         "SELECT * FROM velnor.audit WHERE result = 'failed' AND time > now() - interval '1 hour' AND $1 <> '' ORDER BY time"},
    };
    for (const auto& [what, sql] : kQuestions) {
        std::vector<double> asked;
        for (int i = 0; i < 200; ++i) {
            const Clock::time_point start = Clock::now();
            if (!database.Run(sql, {std::to_string(10000000 + i * 97)})) return 1;
            asked.push_back(Ms(Clock::now() - start));
        }
        Print(what, asked);
    }
    return 0;
}
