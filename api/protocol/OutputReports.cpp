#include "OutputReports.h"

#include <algorithm>

#include "Frame.h"

namespace velnor {

std::vector<OutputReport> CutIntoReports(std::span<const std::uint8_t> frame) {
    std::vector<OutputReport> reports;
    if (frame.empty()) return reports;
    OutputReport first{};
    const std::size_t firstCount = std::min(frame.size(), kReportSize);
    std::copy_n(frame.begin(), firstCount, first.begin());
    reports.push_back(first);
    constexpr std::size_t kBodyPerReport = kReportSize - 2;
    for (std::size_t sent = firstCount; sent < frame.size(); sent += kBodyPerReport) {
        OutputReport next{};
        next[0] = kReportId;
        next[1] = kReportLead;
        const std::size_t count = std::min(frame.size() - sent, kBodyPerReport);
        std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(sent), count, next.begin() + 2);
        reports.push_back(next);
    }
    return reports;
}

}  // namespace velnor
