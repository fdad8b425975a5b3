#include "HidapiLock.h"

namespace velnor {

namespace {
// std::mutex has a constant initialiser and a trivial destructor: safe to outlive main().
constinit std::mutex hidapiMutex;
}  // namespace

std::mutex& HidapiLock() { return hidapiMutex; }

}  // namespace velnor
