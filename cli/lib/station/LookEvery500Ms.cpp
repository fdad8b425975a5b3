#include <algorithm>
#include <thread>

#include "../Waiting.h"
#include "KeypadWatch.h"

namespace velnorcli {

namespace {

// Nothing wakes it: it sleeps until the limit, looking at the stop flag in slices.
class Look final : public KeypadWatch {
public:
    void Wait(std::chrono::milliseconds limit, const std::atomic<bool>* stop) override {
        const auto until = std::chrono::steady_clock::now() + limit;
        for (auto now = std::chrono::steady_clock::now(); now < until && !StopRequested(stop); now = std::chrono::steady_clock::now()) {
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, std::chrono::milliseconds(100)));
        }
    }
    bool Events() const override { return false; }
};

}  // namespace

std::unique_ptr<KeypadWatch> LookEvery500Ms() { return std::make_unique<Look>(); }

}  // namespace velnorcli
