// Cutting a frame into 64-byte output reports: the first report is frame bytes 0 to 63; each
// further one is 3F 40 and the next up to 62 frame bytes. Reports are zero-padded.
#ifndef VELNOR_OUTPUTREPORTS_H
#define VELNOR_OUTPUTREPORTS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velnor {

constexpr std::size_t kReportSize = 64;
using OutputReport = std::array<std::uint8_t, kReportSize>;

// An empty frame gives no report.
std::vector<OutputReport> CutIntoReports(std::span<const std::uint8_t> frame);

}  // namespace velnor

#endif
