#include "SimKeypad.h"

namespace velnorsim {

SimKeypad::SimKeypad(const DeviceSpec& spec) : ram(spec.settings), flash(spec.settings) {}

SimKeypad::Outcome SimKeypad::OnOutputReport(const Report&, Clock::time_point) { return {}; }

}  // namespace velnorsim
