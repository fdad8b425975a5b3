#include "KeypadWatch.h"

namespace velnorcli {

// This build has no source of device events.
std::unique_ptr<KeypadWatch> WatchKeypads(std::string& why) {
    why = "velnor was built without libudev";
    return LookEvery500Ms();
}

}  // namespace velnorcli
