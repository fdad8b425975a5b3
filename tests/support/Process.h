// A program run as a process, its standard output read as it comes.
#ifndef VELNOR_TESTS_PROCESS_H
#define VELNOR_TESTS_PROCESS_H

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace velnortest {

class Process {
public:
    // Runs in `folder`; `environment` holds env(1) arguments ("NAME=value", "-u NAME").
    Process(const std::vector<std::string>& words, const std::string& folder,
            const std::vector<std::string>& environment = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Reads until the output holds text (true), or the limit passed or the output ended.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit);
    int Wait();  // reads the output to its end; the exit status (128 + signal when killed)

    std::string output;
    // When output arrived: milliseconds after the start, and the output's length by then.
    std::vector<std::pair<long, std::size_t>> arrivals;

private:
    std::FILE* pipe_ = nullptr;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace velnortest

#endif
