#include <algorithm>
#include <thread>

#include "KeypadWatch.h"

namespace velnorcli {

namespace {

constexpr std::chrono::milliseconds kSlice{100};  // the longest a stop goes unseen

// Without events the attached keypads may have changed at any time: Wait returns at every
// look, or sooner at its limit.
class Look final : public KeypadWatch {
public:
    void Wait(std::chrono::milliseconds limit, const std::atomic<bool>* stop) override {
        const auto until = std::chrono::steady_clock::now() + std::min(limit, kLookInterval);
        for (;;) {
            if (stop != nullptr && stop->load()) return;
            const auto now = std::chrono::steady_clock::now();
            if (now >= until) return;
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, kSlice));
        }
    }
    bool Events() const override { return false; }
};

}  // namespace

std::unique_ptr<KeypadWatch> LookEvery500Ms() { return std::make_unique<Look>(); }

}  // namespace velnorcli
