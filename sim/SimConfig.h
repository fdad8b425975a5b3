// Set-up of the simulated bus from a text file, for tests that run whole programs.
//
// One statement per line; words are separated by blanks, a word may be quoted ("two words",
// "" is empty); lines starting with # are comments.
//   report_log PATH           every output report is appended to PATH: device path, hex bytes
//   state_file PATH           rewritten with each device's node and settings on change; when it
//                             is there at start, the keypads start from what it holds (RAM and
//                             flash; one away then is back under a new node): a sequence of
//                             processes sees one keypad. One process at a time: two at once
//                             each write what they saw last. Relative paths are relative to
//                             the process's current folder.
//   call_log PATH             one line appended per hid_init, hid_exit, hid_enumerate (with the
//                             number of devices it gave) and hid_open_path (with the path)
//   init_fails                hid_init returns -1
//   sys_root DIR              the folder that stands for / for devices with a location; without
//                             it: STATE_FILE.root, or a folder of the process's own
//   device KEY=VALUE...       adds a device; keys: vid pid (hex), interface, path, location
//                             (USB port chain, e.g. 1-2.3: the path is then a hidraw node that
//                             changes when the device comes back), name (in log and state),
//                             manufacturer product serial (text, "-" = cannot be read),
//                             keypad (0 or 1), reset_absent_ms, reply_delay_ms,
//                             appear_after_ms (not present until then), leave_after_ms
//                             (unplugged for good then; after appear_after_ms). Both count from
//                             the start of the process. Two devices with one location, one
//                             leaving and the other appearing later, are a keypad swapped for
//                             another on that port
//   set NAME VALUE...         a setting of the last device, in RAM and flash: led_level buzzer
//                             buzzer_period keypad_table key_count_option jack (numbers,
//                             decimal or 0x hex), code_table (20 hex bytes), serial, firmware
//   fault COMMAND KIND [PARAM [TIMES]]   COMMAND: a number or "any"; KIND: none noreply ack
//                             nak bad_checksum wrong_type delay split garbage lie_etx lie_length
//                             write_fails (hid_write of that command returns -1, nothing
//                             received) short_write (it returns fewer bytes than given, nothing
//                             received) unplug (carried out, no reply, gone PARAM ms, 0: for
//                             good; it comes back powered up from flash)
//   random_faults SEED PERCENT KIND...
#ifndef VELNOR_SIM_SIMCONFIG_H
#define VELNOR_SIM_SIMCONFIG_H

#include <string>

#include "velnor_sim/SimControl.h"

namespace velnorsim {

class Bus;

// Bad lines are reported on standard error and skipped.
void LoadConfigFile(Bus& bus, const char* path);

// Reads the state file that the configuration names, if it is there. One that is not a state file
// of this set-up is reported on standard error, and the keypads start as the configuration has
// them.
void LoadStateFile(Bus& bus);

// The settings as the state file shows them ("ram.led_level 5", ...).
std::string FormatSettings(const KeypadSettings& ram, const KeypadSettings& flash);

}  // namespace velnorsim

#endif
