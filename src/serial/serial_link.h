// The update module's way to the board: a link it is handed, opened at a rate and closed again,
// that takes frames and hands back what arrives through one event callback and a few flags.
// RS232CPort is the link to a real COM port; tests join the module to a simulated board in
// process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Codes handed to the event callback, on the link's reader (for RS232CPort its reader thread).
enum class PortEvent : int32_t {
    Started = 0,       // the reader runs; IsOpen is already true
    Stopped = 1,       // the reader is about to end; the link is closed, IsOpen is false
    WriteDone = 2,     // the bytes of the last Write have gone out
    DataReceived = 3,  // a read completed with GetReceivedCount() > 0 bytes in GetReceiveBuffer()
    Ring = 4,          // a line event reported ring with the ring indicator on
    CarrierOn = 5,     // a line event reported a carrier-detect change, carrier detect on
    CarrierOff = 6     // the same, carrier detect off
};

// Results of Open; exactly one is returned.
enum class RS232COpenResult : int32_t {
    PortOpened = 0,            // the reader has been created
    LineEventMaskRefused = 1,  // the line events to watch could not be chosen
    TimeoutsRefused = 2,       // the zero time-outs could not be set
    LineSettingsRefused = 4,   // rate, byte size, parity or flow control were refused
    DeviceNotOpened = 8,       // no such device, in use, a name too long to hold, or the previous
                               // reader of this object has not ended
    NoPortName = 16,
    EventsReleased = 32  // the port's wake-up events are missing; wins over every other code
};

// What stood in the way when Open could not open the device or use it as a serial port.
enum class PortProblem {
    None,
    NoSuchPort,        // nothing by that name
    PermissionDenied,  // the user may not open it; on POSIX `detail` names the group that may
    Busy,              // another program holds it; where its lock names the holder, `holderPid`
                       // and, when known, its program's name in `detail`
    NotSerial,         // it opens, but is no serial port: a file, /dev/null, a folder
    RateRefused,       // it cannot run at the bit rate; `detail` says what it did instead
    Other              // `detail` holds the system's own text
};

struct PortOpenProblem {
    PortProblem kind = PortProblem::None;
    std::string detail;
    long holderPid = 0;
};

// A rate the port's driver does not run, and what it did with it instead.
struct RefusedBitRate {
    int32_t bitRate;
    std::string detail;  // as PortOpenProblem's for RateRefused
};

class SerialLink;

// Called on the link's reader, one event at a time; no other event is served until it returns.
// `context` is what SetEventCallback was given with it. The result is ignored.
typedef int32_t (*RS232CEventCallback)(SerialLink* link, int32_t code, void* context);

class SerialLink {
public:
    virtual ~SerialLink() = default;

    // Before Open: where the events go, and the context handed over with each.
    virtual void SetEventCallback(RS232CEventCallback callback, void* context) = 0;
    // Opens the named port with the given line settings (parity 0 none, 1 odd, 2 even), no
    // time-outs, no flow control and DTR and RTS off, and starts the reader; IsOpen turns true
    // once it has started. Call Close first.
    virtual RS232COpenResult Open(const char* name, int32_t bitRate, int32_t parity,
                                  uint8_t byteSize, bool lineEvents) = 0;
    // Why the last Open failed to open the device or to take it as a serial port; kind None after
    // an Open that got that far.
    virtual const PortOpenProblem& LastOpenProblem() const = 0;
    // Stops the reader, which closes the link, and waits for it.
    virtual void Close() = 0;
    // While closed: which of `bitRates` the named port's driver does not run, found out without a
    // byte going out (each rate is set and read back, then the port's settings are put back as
    // they were). None when the port cannot be opened now: the next Open says why. A link without
    // a driver to ask refuses none.
    virtual std::vector<RefusedBitRate> RefusedBitRates(const char* name,
                                                        const std::vector<int32_t>& bitRates) {
        (void)name;
        (void)bitRates;
        return {};
    }

    // Hands up to 255 bytes to the reader and returns at once; silently refused while IsWriting.
    virtual void Write(const uint8_t* data, int32_t length) = 0;
    // Lets the reader start the next read; none starts after a completed one until then.
    virtual void RequestRead() = 0;
    virtual const uint8_t* GetReceiveBuffer() const = 0;
    virtual int32_t GetReceivedCount() const = 0;

    virtual bool IsOpen() const = 0;
    virtual bool IsWriting() const = 0;
    virtual bool IsReadPending() const = 0;
    // The reader left on an I/O failure (the device went away) rather than on a stop request;
    // already so when Stopped is raised. Cleared by the next Open.
    virtual bool IsLost() const = 0;
};
