// A program run as a process: its standard output and standard error apart, read as they come,
// its exit status (128 + the signal when it was killed) and the peak memory it took.
#ifndef VELNOR_TESTS_RUN_H
#define VELNOR_TESTS_RUN_H

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace velnortest {

// Under a sanitizer, whose runtime reserves terabytes of address space and slows a program many
// times, memory bounds and peaks mean nothing.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Writes all of the text; false when the reader has gone.
bool WriteAll(int descriptor, std::string_view text);

struct Result {
    int status = -1;
    std::string out;
    std::string err;
    long peakKiB = 0;  // its largest resident set
    // When standard output arrived: milliseconds after the start, and its length by then.
    std::vector<std::pair<long, std::size_t>> arrivals;
    // The arrival that completed the first occurrence of text ({-1, 0} when it never came).
    std::pair<long, std::size_t> ArrivalOf(const std::string& text) const;
};

struct Launch {
    Launch(std::string in = {}) : folder(std::move(in)) {}
    std::string folder;                    // the working folder; empty: this process's
    std::vector<std::string> environment;  // over this process's: "NAME=value" sets, "NAME" removes
    std::function<void(int)> input;        // writes standard input from a thread; none: /dev/null
    uid_t user = 0;                        // not 0: runs as this user, and group of the same number
    // A regression fails the test instead of taking the shared machine with it: 60 s of CPU, and
    // 1 GiB of address space where no sanitizer reserves terabytes of it.
    bool bounded = false;
};

class Running {
public:
    Running(const std::vector<std::string>& words, const Launch& launch = {});
    ~Running();  // waits, when Wait was not called
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    void Signal(int signal) const;
    // Reads until standard output holds text (true), or the limit passed or the output ended.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit);
    const std::string& Output() const { return result_.out; }
    Result Wait();  // reads both to their end

private:
    bool ReadSome(int timeoutMs);  // false when nothing came in time or both ended

    pid_t pid_ = -1;
    int pipes_[2] = {-1, -1};  // standard output, standard error
    std::thread feeder_;
    std::chrono::steady_clock::time_point start_;
    Result result_;
    std::vector<std::string> words_;
    std::string folder_;
};

inline Result Run(const std::vector<std::string>& words, const Launch& launch = {}) {
    return Running(words, launch).Wait();
}

}  // namespace velnortest

#endif
