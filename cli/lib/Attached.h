// The keypads attached: listing them, and reading every one's status at once (one PlixoApi
// object and thread each).
#ifndef VELNOR_CLI_ATTACHED_H
#define VELNOR_CLI_ATTACHED_H

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include <velnor/PlixoApi.h>

#include "ExitStatus.h"
#include "Reports.h"
#include "Result.h"
#include "Selection.h"

namespace velnorcli {

// The keypads attached, or the failure to list them.
Result<std::vector<KEYPAD_ENTRY>> ListAttached();

// The attached keypads the selection means (reading every status for --serial).
Result<std::vector<KEYPAD_ENTRY>> SelectKeypads(const Selector& selector);

// Opens each keypad and reads its status, all at once (one object and one thread each).
std::vector<StatusReading> ReadStatuses(const std::vector<KEYPAD_ENTRY>& keypads);

// Runs work(i) for i in [0, count) on a thread each and waits for all.
void InParallel(std::size_t count, const std::function<void(std::size_t)>& work);

}  // namespace velnorcli

#endif
