// Where a serial list and its record are kept. A store reads and appends and keeps a change of
// the record to one process (and thread) at a time; which serial is free, and who holds one,
// the rules decide (SerialRules.h).
#ifndef VELNOR_CLI_SERIALS_SERIALSTORE_H
#define VELNOR_CLI_SERIALS_SERIALSTORE_H

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "Result.h"
#include "serials/SerialRules.h"

namespace velnorcli {

// How a wait for the record's lock may end early, and who is told that it lasts.
struct LedgerWait {
    const std::atomic<bool>* stop = nullptr;  // when set: the wait gives up (status 130)
    // Once, after about a second of waiting: who holds the lock ("process 812 (flock)"). Not for
    // another thread of this velnor, which holds it only while it chooses.
    std::function<void(const std::string& holder)> waiting;
};

// Hands the record's events on, in the order written.
using EventSink = std::function<void(const SerialEvent&)>;

class SerialStore {
public:
    virtual ~SerialStore() = default;

    // Before any keypad is involved: the list is usable, and the record can be added to (made
    // when missing).
    virtual Done Check() const = 0;
    // The list's serials, in order.
    virtual Result<std::vector<std::string>> Serials() const = 0;
    // The record's events, read without the lock; none while there is no record.
    virtual Done Read(const EventSink& each) const = 0;
    // One change of the record, with it locked (waited for as `wait` says): its events to `read`
    // when given, then the events `next` makes appended with one write and made durable. A
    // failure of `next`, or no event, appends nothing.
    virtual Done Change(const LedgerWait& wait, const EventSink* read,
                        const std::function<Result<std::vector<SerialEvent>>()>& next) = 0;
};

}  // namespace velnorcli

#endif
