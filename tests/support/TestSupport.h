// Helpers shared by the tests.
#ifndef VELNOR_TESTS_TESTSUPPORT_H
#define VELNOR_TESTS_TESTSUPPORT_H

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace velnortest {

// Limits that only stop a test that would otherwise hang. Waiting for an event ends as soon as
// it happens, so they are set far beyond what the slowest, most loaded machine needs.
constexpr int kEventuallyMs = 30000;
constexpr std::chrono::milliseconds kEventually{kEventuallyMs};
constexpr int kPatientMs = 10000;  // the time-out of an operation that is expected to succeed

// Polls the condition every 5 ms; true as soon as it holds, false after the limit.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = kEventually);

// Shows \r and \n as escapes, so that a failed comparison of trace lines is readable.
std::string Visible(const std::string& text);

std::string ReadFile(const std::string& path);  // its whole content; "" when it cannot be read
std::vector<std::string> Lines(const std::string& text);  // without their line feeds

// A folder of its own under /tmp, removed with all it holds.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string Path(const std::string& name) const { return folder_ + "/" + name; }
    std::string Write(const std::string& name, const std::string& content) const;  // its path
    std::string Read(const std::string& name) const { return ReadFile(Path(name)); }

private:
    std::string folder_;
};

// Standard output of the process while it lives (library lines included).
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;
    std::string Take();  // ends the capture and returns what was written

private:
    bool active_ = true;
};

}  // namespace velnortest

#endif
