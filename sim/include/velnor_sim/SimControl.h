// Control of the simulated USB bus behind the simulated hidapi (libhidapi-hidraw.so.0 of the
// simulator). Unit tests drive it in-process through these functions; whole programs are set up
// through the file named by VELNOR_SIM_CONFIG (see SimConfig.h for its format).
//
// The keypad model here is written apart from the library's protocol code on purpose: it parses
// and builds frames with code of its own, so that a fault in one is not mirrored by the other.
#ifndef VELNOR_SIM_SIMCONTROL_H
#define VELNOR_SIM_SIMCONTROL_H

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#define VELNOR_SIM_API __attribute__((visibility("default")))

namespace velnorsim {

using Report = std::vector<std::uint8_t>;
using DeviceId = int;

// A keypad's settings; the model keeps one copy in RAM and one in flash.
struct KeypadSettings {
    std::uint8_t ledLevel = 0;
    std::uint8_t buzzer = 0;
    std::uint8_t buzzerPeriod = 0;
    std::uint8_t keypadTable = 0;
    std::uint8_t keyCountOption = 0;
    std::array<std::uint8_t, 20> codeTable{};
    std::string serialNumber;   // sent in status replies as at most 16 characters
    std::string firmwareName;   // sent as at most 7 characters
    std::uint8_t jackStatus = 0;
    bool operator==(const KeypadSettings&) const = default;
};

struct DeviceSetup {
    std::uint16_t vendorId = 0x2047;
    std::uint16_t productId = 0x09BF;
    int interfaceNumber = 1;
    std::string path;  // empty: "sim:<id>", or a hidraw node when the device has a location
    // The USB port chain it is plugged into ("1-2.3"). A device with a location enumerates as a
    // hidraw node ROOT/dev/hidrawN described by ROOT/sys (ROOT: SystemRoot()), as the kernel
    // describes one, and gets a new node each time it comes back after a reset or a replug.
    std::string location;
    std::string name;  // how the report log and state file name it; empty: its first path
    // std::nullopt: the string cannot be read (the getter fails).
    std::optional<std::wstring> manufacturer = L"Velnor";
    std::optional<std::wstring> product = L"Velnor Keypad";
    std::optional<std::wstring> serialNumber = std::nullopt;
    bool keypad = true;  // false: another HID device, which takes reports and never answers
    KeypadSettings settings;  // RAM and flash at start
    int resetAbsentMs = 1000;  // how long the keypad is gone after ResetToFactoryDefault
    int replyDelayMs = 0;      // time from a command to its reply
};

// How the keypad misbehaves when it receives a command.
enum class FaultKind {
    None,
    NoReply,      // says nothing
    Ack,          // a one-byte ACK report instead of the reply
    Nak,          // a one-byte NAK report instead of the reply
    BadChecksum,  // the reply with its checksum byte inverted
    WrongType,    // the reply frame with type `param` instead of the command's
    Delay,        // the reply `param` ms late
    Split,        // the reply frame spread over two reports
    Garbage,      // `param` (at least 1) reports of noise without STX, then the reply
    LieEtxIndex,  // the reply with its ETX index byte set to `param`
    LieLength,    // the reply with its length characters announcing `param` bytes
    // Checked when the first report of a command's frame is written, before the keypad sees it:
    WriteFails,   // hid_write returns -1; the keypad receives nothing
    // After the keypad has carried the command out:
    Unplug,       // no reply; unplugged for `param` ms (0: for good), back with RAM from flash
    // Checked like WriteFails:
    ShortWrite,   // hid_write takes all but the last byte of the report; the keypad receives nothing
};

struct Fault {
    FaultKind kind = FaultKind::None;
    int param = 0;
    int times = -1;  // how many commands it applies to; -1: every one
};

// Commands that a fault matches: a command byte, or any command.
constexpr int kAnyCommand = -1;

// The bus. Devices are enumerated in the order they were added.
VELNOR_SIM_API DeviceId AddDevice(const DeviceSetup& setup);
VELNOR_SIM_API void RemoveAllDevices();  // also drops faults, logs and open handles' devices
VELNOR_SIM_API void Detach(DeviceId id);  // unplug: not enumerated, open handles fail
VELNOR_SIM_API void Attach(DeviceId id);  // plug in again (handles opened before stay dead)
VELNOR_SIM_API bool IsAttached(DeviceId id);
// The keypad on this device's port is pulled out and another plugged into the same port: the
// device becomes `setup` (keeping its location), with no faults and nothing received, under a
// new node; handles opened before are dead. A station plugs keypad after keypad this way.
VELNOR_SIM_API void Replace(DeviceId id, const DeviceSetup& setup);
VELNOR_SIM_API std::string PathOf(DeviceId id);  // its path now (a hidraw node changes)
// The folder that stands for / for devices with a location: a fresh one under /tmp unless the
// configuration's sys_root or SetSystemRoot named one before the first such device was added.
VELNOR_SIM_API std::string SystemRoot();
VELNOR_SIM_API void SetSystemRoot(const std::string& folder);
VELNOR_SIM_API int OpenHandleCount(DeviceId id);  // handles opened on it and not closed

// The keypad's state.
VELNOR_SIM_API KeypadSettings RamSettings(DeviceId id);
VELNOR_SIM_API KeypadSettings FlashSettings(DeviceId id);
VELNOR_SIM_API void SetRamSettings(DeviceId id, const KeypadSettings& settings);

// Misbehaviour, per command byte or for kAnyCommand; the most recently set matching fault wins.
VELNOR_SIM_API void SetFault(DeviceId id, int command, const Fault& fault);
VELNOR_SIM_API void ClearFaults(DeviceId id);
// Seeded random misbehaviour: each command gets a fault drawn from `kinds` with the given
// probability in percent. 0 turns it off.
VELNOR_SIM_API void SetRandomFaults(DeviceId id, unsigned seed, int percent,
                                    const std::vector<FaultKind>& kinds);
VELNOR_SIM_API void SetWritesFail(DeviceId id, bool fail);  // hid_write returns -1
VELNOR_SIM_API void SetReadsFail(DeviceId id, bool fail);   // hid_read_timeout returns -1

// Input reports put straight into every open handle of the device, `delayMs` from now.
VELNOR_SIM_API void InjectInputReport(DeviceId id, const Report& report, int delayMs = 0);

// What the keypad was sent: every output report, in order, as written.
VELNOR_SIM_API std::vector<Report> OutputReports(DeviceId id);
// When each of them was written, in the same order.
VELNOR_SIM_API std::vector<std::chrono::steady_clock::time_point> OutputReportTimes(DeviceId id);
VELNOR_SIM_API void ClearOutputReports(DeviceId id);

// Holding calls: while held, a call of that hidapi function waits at its start, so that a test
// can look at the caller's state in between.
enum class Call { Write, ReadTimeout, Close, Exit, OpenPath };
VELNOR_SIM_API void HoldCalls(Call call);
VELNOR_SIM_API void ReleaseCalls(Call call);
// True once a call is waiting at the hold (within the time).
VELNOR_SIM_API bool WaitForHeldCall(Call call, int timeoutMs);
VELNOR_SIM_API int FrameErrors(DeviceId id);  // output reports the keypad could not read

// Counters of the simulated hidapi, for tests of how the library uses it.
struct Counters {
    int initCalls = 0;
    int exitCalls = 0;
    int openHandles = 0;
    int enumerateCalls = 0;
    // Faults of the caller: non-thread-safe hidapi calls (init, exit, enumerate, free, open,
    // close) made at the same time from two threads, and a handle closed while read.
    int overlappingUnsafeCalls = 0;
    int closesDuringRead = 0;
};
VELNOR_SIM_API Counters GetCounters();
VELNOR_SIM_API void SetInitFails(bool fail);  // hid_init returns -1

}  // namespace velnorsim

#endif
