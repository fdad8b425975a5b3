// velnor station: every keypad that is attached, or appears later, restored to one file as
// velnor restore does it, until a signal or until a given number of keypads have ended. Each
// batch of keypads noticed together is a RestoreKeypads on a thread of its own, so that a keypad
// plugged in never waits for another's restore. Keypads are told apart by their identity (USB
// serial string, else location, else path), so that one restarting under a new node during its
// restore is never started twice.
#ifndef VELNOR_CLI_STATION_STATIONRUN_H
#define VELNOR_CLI_STATION_STATIONRUN_H

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <velnor/PlixoApi.h>

#include "../Json.h"
#include "../Station.h"
#include "Feedback.h"
#include "KeypadWatch.h"

namespace velnorcli {

// What the station knows of a keypad it has seen, by identity.
enum class Phase {
    InProgress,  // its restore (or its feedback) runs: listed or not, it is not started again
    Done,        // it ended and was still attached at the last look: done until it leaves
};

struct Look {
    std::vector<std::size_t> start;  // indexes into the listing: keypads that appeared (port order)
    std::vector<std::string> left;   // identities of ended keypads no longer listed: forgotten
};

// Which listed keypads to start and which to forget, given what the station tracks. `ports`:
// the locations to serve (empty: every one). With `starting` false (a stop, or --once reached)
// no keypad is started. A second keypad listed under an identity already seen in this listing
// is left alone, and so is a /dev node listed without its USB port (one going away meanwhile).
Look LookAt(const std::vector<KEYPAD_ENTRY>& listed, const std::map<std::string, Phase>& tracked,
            const std::vector<std::string>& ports, bool starting);

enum class EventKind { Attached, Started, Finished, Left };

struct StationEvent {
    EventKind kind;
    KEYPAD_ENTRY keypad;
    const KeypadReport* report = nullptr;  // Finished only
};

// {"event": "attached"|"started"|"finished"|"left", "time": S (UTC), "keypad": K}; a finished
// event adds the members of restore's entry for the keypad (status, message, result, changes)
// and "serial": the keypad's serial after, null when not known.
Json StationEventJson(const StationEvent& event, const std::string& time);
// The serial a keypad holds at its end, as far as the report knows it ("" none).
std::optional<std::string> SerialAfter(const KeypadReport& report);

// The feedback of a keypad whose result is known (empty: none). Its failure is told, not counted.
// `flash`: what the keypad's flash holds, none when nothing was written to it (its status tells).
using ShowFeedback = std::function<Done(const KEYPAD_ENTRY&, Shown, const std::optional<Settings>& flash, const std::atomic<bool>* stop)>;

struct StationRunOptions {
    StationOptions restore;  // its stop is the station's own (a second signal); leave it null
    std::vector<std::string> ports;  // --ports: locations
    std::size_t once = 0;            // end after this many keypads ended (0: until a signal)
    KeypadWatch* watch = nullptr;
    const std::atomic<bool>* stop = nullptr;   // the first signal: start no keypad, finish the others
    const std::atomic<int>* signals = nullptr; // signals received: from the second on, stop the keypads in progress
    ShowFeedback feedback;
    // Told each event as it happens, from the station's one thread.
    std::function<void(const StationEvent&)> event;
    // Warnings (a listing that failed, a feedback that failed).
    std::function<void(const std::string&)> warn;
    // Told, from the keypads' threads, what a keypad in progress does (its restore's steps), and
    // that a finished keypad's feedback ended (with feedback only).
    std::function<void(const KEYPAD_ENTRY&, const std::string&)> step;
    std::function<void(const KEYPAD_ENTRY&)> shown;
};

// Counts, not the reports: a station that runs for days keeps nothing per keypad that ended.
// The station's counters: a keypad is updated or up to date when it ended so (status 0), else failed.
struct StationCounts {
    std::size_t updated = 0;
    std::size_t upToDate = 0;
    std::size_t failed = 0;
    void Add(const KeypadReport& report);
    std::size_t Ended() const { return updated + upToDate + failed; }
};

// A whole run, in counts only: a station may run for days.
struct StationSummary {
    StationCounts counts;
    ExitStatus worst = kDone;  // the largest status of all
    std::chrono::milliseconds elapsed{0};
};

StationSummary RunStationLoop(const RestoreSource& source, const StationRunOptions& options);

// "updated 2, up to date 1, failed 0; 3 keypads in 2.5 min: 72 keypads per hour"
std::string RenderStationCounts(const StationCounts& counts, std::chrono::milliseconds elapsed);
// The same, of a whole run, with a newline.
std::string RenderStationSummary(const StationSummary& summary);
// One finished keypad for people: location, result, serial, time, message.
std::string RenderStationLine(const KeypadReport& report);
// A keypad's serial after its end as people are shown it ("-" when not known or blank).
std::string ShownSerial(const KeypadReport& report);
// "2.5 s", "3.1 min", "1.2 h".
std::string RenderDuration(std::chrono::milliseconds duration);

}  // namespace velnorcli

#endif
