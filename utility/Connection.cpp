#include "Run.h"
#include "Say.h"

namespace velnorutility {

bool OpenConnection(Run& run, std::ostream& out) {
    if (run.keypad == nullptr) run.keypad = new PlixoApi();
    if (!run.keypad->InitialiseBrellUSBDevice(kVendorId, kProductId)) {
        Say(out, "velnor not connected");
        delete run.keypad;
        run.keypad = nullptr;
        return false;
    }
    Say(out, "Velnor connected");
    return true;
}

}  // namespace velnorutility
