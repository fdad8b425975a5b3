// PlixoApi: one connection to one Velnor keypad.
//
// Every keypad operation blocks its caller and returns 0 or a negative RETURN_CODES value; its
// last argument is a time-out in milliseconds (0 waits without limit). One worker thread per
// object does all device traffic; one object serves one waiting operation at a time, so callers
// must not run operations of the same object concurrently.
//
// Threads and shared state (W = worker thread, C = a caller's thread):
//   connectionState  written by W (and by C in InitialiseBrellUSBDevice, before W starts or
//                    while W is parked); read by C without a lock.
//   device           used by W; by C only while W is parked or joined.
//   running          set by C (InitialiseBrellUSBDevice, destructor); read by W each cycle.
//   requestQueue     guarded by requestQueueMutex; appended by C, taken by W.
//   requestEvent     signalled by C after each queued request; waited on by W.
//   replySlot        filled by W's reply handlers; emptied by C; each side exchanges the
//                    whole record atomically, so no record is read or freed by both.
//   replyCounter     incremented by W after filling replySlot; cleared and polled by C.
//   lastError        written by W and C, last writer wins; read by C.
//   keyBuffer and its indexes: guarded by keyBufferMutex.
//   inboundQueue, receiveBuffer, currentIncoming, writeFailed: W only.
//   workerPause      what an object keeps beyond these members (api/WorkerPause.h): each of
//                    its parts says who writes and reads it.
// No lock is held while waiting for another.
//
// Keypads opened by selection (KEYPAD_SELECTION, OpenKeypad) get a connection that tells the
// truth: a reply completes only an operation waiting for its type, a NAK or a lost keypad ends
// the waiting operation at once, and the object never writes to standard output.
#ifndef VELNOR_PLIXOAPI_H
#define VELNOR_PLIXOAPI_H

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(VELNOR_API_BUILDING)
#define VELNOR_API __attribute__((visibility("default")))
#else
#define VELNOR_API
#endif
#define VELNOR_LOCAL __attribute__((visibility("hidden")))

struct hid_device_;

namespace velnor {
class AutoResetEvent;
class MessageCommand;
class MessageHeader;
class MessageIncoming;
class ReplySlot;
class WorkerPause;
struct DeviceRequest;
}  // namespace velnor

// The keypad's settings as its status reply reports them; also the utility's in-memory form of
// a backup file. Owned by the caller; GetDeviceStatus only assigns its fields.
struct DEVICE_INFO {
    std::uint8_t LedLevel = 0;
    std::uint8_t BuzzerSetting = 0;
    std::uint8_t BuzzerPeriod = 0;
    std::uint8_t KeypadTable = 0;
    std::uint8_t KeyCountOption = 0;  // 0: 5 keys, 1: 6 keys, 2: 8 keys
    std::array<std::uint8_t, 20> CodeTable{};
    std::string FirmwareName;  // 0 to 7 characters
    std::string SerialNumber;  // 0 to 16 characters
};

// One attached keypad, as ListKeypads finds it. The USB strings are UTF-8.
struct KEYPAD_ENTRY {
    std::string Path;          // hidapi's path of the device (on Linux /dev/hidrawN)
    std::string UsbSerial;     // USB serial-number string; empty when it has none or it cannot be read
    std::string Manufacturer;  // USB manufacturer string, as enumeration reports it
    std::string Product;       // USB product string
    std::string Location;      // USB port chain as the kernel names it (1-2.3); empty where unknown
};

// What names the keypad a PlixoApi object opens by selection.
enum KEYPAD_SELECTOR : std::int32_t {
    SELECT_BY_PATH = 0,        // its path, as ListKeypads gives it
    SELECT_BY_USB_SERIAL = 1,  // its USB serial-number string
    SELECT_BY_LOCATION = 2,    // its USB port chain
};

struct KEYPAD_SELECTION {
    std::int32_t VendorId = 8263;  // 0x2047
    std::int32_t ProductId = 2495;  // 0x09BF
    KEYPAD_SELECTOR By = SELECT_BY_PATH;
    std::string Value;
};

enum class ConnectionState : std::int32_t {
    NotConnected = 0,    // no keypad open; the worker tries to open one every cycle
    Connected = 1,       // device open; operations may queue requests
    ConnectionLost = 2,  // closed after a failed write; NotConnected on the next cycle
};

class VELNOR_API PlixoApi {
public:
    enum RETURN_CODES : std::int32_t {
        SUCCESS = 0,
        NOT_CONNECTED = -2,          // connection state is not Connected
        TIMEOUT = -3,                // no reply before the time-out
        WRITE_FAILED = -4,           // writing a report failed (worker; for objects opened by selection
                                     // also the operation whose request could not be written)
        UNKNOWN_ERROR = -9983,       // anything unexpected; also a failed read (worker)
        NULL_POINTER = -9985,        // a required pointer argument is null
        INVALID_REPLY = -9989,       // a status or jack status reply could not be parsed (worker)
        UNEXPECTED_MESSAGE = -9995,  // an inbound message of a type no command has (worker)
        LOCK_TIMEOUT = -9997,        // a mutex stayed busy for 1001 tries of 1 ms
        INVALID_ARGUMENT = -9998,    // an argument the keypad protocol cannot take
        // Only objects opened by selection give these:
        CONNECTION_LOST = -5,        // the keypad went away before it answered; the request is dropped
        ACCESS_DENIED = -6,          // the keypad's device node cannot be opened: permission denied
        REFUSED = -9990,             // the keypad answered NAK
    };

    // Creates the synchronisation objects and empty queues; touches no device.
    PlixoApi();
    // Stops and joins the worker, then closes the device. The worker is woken from its wait for
    // requests and from its pause between reconnect attempts, and ends its read of the keypad
    // within 50 ms.
    ~PlixoApi();
    PlixoApi(const PlixoApi&) = delete;
    PlixoApi& operator=(const PlixoApi&) = delete;

    // Opens the keypad with these ids on USB interface 1 and starts the worker (also when no
    // keypad is found: the worker keeps looking). True when the keypad was opened now. A second
    // call reopens the keypad on the same worker. Takes at least 500 ms.
    bool InitialiseBrellUSBDevice(int vendorId, int productId);
    // 1 when a HID device with these ids is attached, else 0. Changes nothing.
    int findUSBDevice(int vendorId, int productId);

    // The last failure recorded by any thread of this object; a success never clears it.
    int GetErrorCode() const;
    // "Success" for 0, "Unknown Error" for -9983, a fixed text otherwise. Static; never freed.
    const char* GetErrorText(int code) const;
    // Next key byte (0 to 255); -1 when none while connected, -2 when none otherwise;
    // -9997 when the key buffer stays locked.
    int RetrieveByteFromBuffer();

    // Settings operations: 0, or -2 not connected, -3 no reply, -9997/-9983 queueing failed.
    int SetLedLevel(int level, int timeout);
    int SetBuzzer(int setting, int timeout);
    int SetBuzzerPeriod(int period, int timeout);
    int SetKeypadTable(int table, int timeout);  // -9998 for a table number above 2
    int SetOption(int option, int timeout);      // number of keys: 0 five, 1 six, 2 eight
    // -9985 for a null table, -9998 for a length other than 20.
    int LoadCodeTable(const char* table, int length, int timeout);
    // -9985 for a null text, -9998 for a text longer than 255 bytes.
    int SetSerialNumber(const char* serial, int timeout);
    int WriteDefaultToFlash(int timeout);
    int ResetToFactoryDefault(int timeout);
    int StartBSL(int timeout);

    // Status queries: as above; -9985 for a null result pointer. On failure the caller's
    // record or integer keeps its content.
    int GetDeviceStatus(DEVICE_INFO* info, int timeout);
    int GetJackStatus(int* status, int timeout);

    // --- Several keypads on one host: listing, and opening the keypad you mean ---

    // Every attached keypad with these ids (USB interface 1 only), in enumeration order. Opens
    // nothing, sends nothing, prints nothing. 0; -9985 for a null list; -9983 when hidapi cannot
    // be set up.
    static int ListKeypads(int vendorId, int productId, std::vector<KEYPAD_ENTRY>* keypads);

    // An object for the one keypad the selection names. It never writes to standard output and
    // opens nothing yet. InitialiseBrellUSBDevice is refused on it (false, -9998).
    explicit PlixoApi(const KEYPAD_SELECTION& selection);
    // An object for the keypad of this entry, as ListKeypads gave it for these ids. OpenKeypad
    // opens it by its path at once, without listing the keypads again; from then on the worker
    // follows it as it follows a selected keypad, by the USB serial string and location its entry
    // gives (its path only when it has neither). Like an object made for a selection it never
    // writes to standard output and opens nothing yet.
    explicit PlixoApi(const KEYPAD_ENTRY& keypad, int vendorId = 8263, int productId = 2495);
    // hidapi is set up while any object has a keypad open or looks for it, and for the time of
    // each ListKeypads. A caller that lists and then opens the keypads it chose keeps one set-up
    // for all of it by holding one around them: 0; -9983 when hidapi cannot be set up. Each
    // successful HoldHidapi is ended by one ReleaseHidapi (hid_exit once nothing else uses it).
    static int HoldHidapi();
    static void ReleaseHidapi();

    // Opens the selected keypad and starts the worker, which from then on reopens only that
    // keypad: after a replug or restart the one at the same location with the same USB serial
    // string, each where the keypad had one; the same path only when it had neither. Waits up to the
    // time-out (0: without limit) for the keypad to be there. Once per object.
    //   0      the keypad is open
    //   -2     it is not there (yet): the worker keeps looking for it, and only for it
    //   -6     its device node cannot be opened (permission); the worker keeps trying
    //   -9998  the object was not made for a selection or an entry, the selection is empty or of
    //          no known kind, matches several keypads, the entry has no path, or the keypad is open
    //          already
    //   -9983  hidapi cannot be set up, or the worker thread cannot be started
    int OpenKeypad(int timeout);
    // The keypad this object opened last (its path changes when the keypad re-enumerates).
    // 0; -2 before it was ever opened; -9985 for a null entry.
    int GetOpenedKeypad(KEYPAD_ENTRY* keypad) const;

    // Following a restart. The connection state as the worker last set it.
    ConnectionState GetConnectionState() const;
    // 0 once the keypad is connected (at once when it is); -3 after the time-out (0: no limit);
    // -2 at once when no worker looks for a keypad (the object was never opened).
    int WaitUntilConnected(int timeout);
    // For a caller that has just sent ResetToFactoryDefault: 0 once the keypad has left since the
    // last reset written to it (also when it has come back meanwhile); -3 after the time-out. A
    // reset that could not be written (-4) restarts nothing and is not counted.
    // -2 at once when the object was never opened.
    int WaitUntilLeft(int timeout);

private:
    friend struct PlixoApiTestPeer;  // the project's own tests and fuzzers look inside

    VELNOR_LOCAL bool OpenDevice();
    VELNOR_LOCAL int OpenSelected();
    VELNOR_LOCAL int OpenListed(const KEYPAD_ENTRY& keypad);
    VELNOR_LOCAL void CloseDevice();
    VELNOR_LOCAL void CloseHandle();
    VELNOR_LOCAL bool Reconnect(int milliseconds);
    VELNOR_LOCAL bool SetConnectionState(ConnectionState state);
    VELNOR_LOCAL void ReopenWhileWorkerParked();
    VELNOR_LOCAL bool StartWorker();
    VELNOR_LOCAL bool Quiet() const;

    VELNOR_LOCAL int WorkerMain();
    VELNOR_LOCAL bool ServiceRequests(int milliseconds);
    VELNOR_LOCAL void ReadDevice();
    VELNOR_LOCAL void ProcessReport(const std::uint8_t* bytes, std::size_t count);
    VELNOR_LOCAL void DrainInbound(velnor::MessageHeader& header);
    VELNOR_LOCAL int QueueRequest(std::unique_ptr<velnor::DeviceRequest>& request);
    VELNOR_LOCAL bool SendFrame(const std::vector<std::uint8_t>& frame);
    VELNOR_LOCAL void LoseKeypad();
    VELNOR_LOCAL void DropQueuedRequests();

    VELNOR_LOCAL bool DispatchIncoming(const velnor::MessageHeader& header);
    VELNOR_LOCAL bool OnStatusReply(const velnor::MessageHeader& header);
    VELNOR_LOCAL bool OnJackStatusReply(const velnor::MessageHeader& header);
    VELNOR_LOCAL bool OnPlainReply(const velnor::MessageHeader& header);
    VELNOR_LOCAL void StoreReply(const velnor::MessageHeader& header, std::unique_ptr<velnor::MessageCommand> record);

    VELNOR_LOCAL void RequireConnected() const;
    VELNOR_LOCAL std::unique_ptr<velnor::MessageCommand> Exchange(
        std::unique_ptr<velnor::DeviceRequest> request, int timeout);
    VELNOR_LOCAL int ValueOperation(int kind, int value, int timeout);

    std::string manufacturer;  // written by whoever opens the device (C or W, never both)
    std::string product;
    std::string version;  // "7.0"; constant after construction
    std::unique_ptr<velnor::AutoResetEvent> requestEvent;
    hid_device_* device = nullptr;
    std::atomic<ConnectionState> connectionState{ConnectionState::NotConnected};
    std::atomic<std::int32_t> running{0};
    std::mutex requestQueueMutex;
    std::mutex keyBufferMutex;
    std::thread workerThread;
    std::int32_t keyWriteIndex = 0;  // guarded by keyBufferMutex
    std::int32_t keyReadIndex = 0;   // guarded by keyBufferMutex
    std::deque<std::unique_ptr<velnor::MessageIncoming>> inboundQueue;
    std::deque<std::unique_ptr<velnor::DeviceRequest>> requestQueue;  // requestQueueMutex
    std::vector<std::uint8_t> receiveBuffer;
    std::unique_ptr<velnor::MessageIncoming> currentIncoming;
    std::unique_ptr<velnor::ReplySlot> replySlot;
    std::atomic<std::int32_t> replyCounter{0};
    std::int32_t vendorId = 0;  // written by C in InitialiseBrellUSBDevice before W reads it
    std::int32_t productId = 0;
    std::array<std::int32_t, 8> keyBuffer{};  // guarded by keyBufferMutex
    std::atomic<std::int32_t> lastError{0};

    // Not in the keypad protocol's own model: the write failure that makes the next idle wait
    // close the device (kept apart from lastError, which a success never clears), and what the
    // object keeps beyond these members: the worker's park handshake, how the keypad was opened,
    // connection events (api/WorkerPause.h).
    bool writeFailed = false;  // W only
    std::unique_ptr<velnor::WorkerPause> workerPause;

#if defined(VELNOR_ABI_BREAK_PROBE)
    // Only in tools/check-abi.sh --deliberate-break: an incompatible layout the check must catch.
    std::int32_t abiBreakProbe = 0;
#endif
};

#endif  // VELNOR_PLIXOAPI_H
