#include "TestSupport.h"

#include <gtest/gtest.h>

namespace velnortest {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string Visible(const std::string& text) {
    std::string shown;
    for (char c : text) shown += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    return shown;
}

StdoutCapture::StdoutCapture() { testing::internal::CaptureStdout(); }

StdoutCapture::~StdoutCapture() {
    if (active_) Take();
}

std::string StdoutCapture::Take() {
    active_ = false;
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

}  // namespace velnortest
