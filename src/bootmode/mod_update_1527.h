// The H8SX/1520R boot-mode update module: the connection handshake, inquiries and selections,
// the bit-rate change, erase, block programming and reboot over one COM port.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bootmode/boot_protocol.h"
#include "bootmode/device_list.h"
#include "bootmode/firmware_image.h"
#include "bootmode/module_pause.h"
#include "bootmode/module_reports.h"
#include "bootmode/receive_buffer.h"
#include "bootmode/reply_shape.h"
#include "bootmode/step_failure.h"
#include "bootmode/update_module.h"
#include "serial/serial_link.h"
#include "serial/wait_clock.h"

class SRECReader;

// A byte of the flash that differs from the image.
struct ByteDifference {
    uint32_t address;
    uint8_t flash;
    uint8_t image;
};

// What a probe found on the port (ModUpdate1527::Probe).
enum class BoardPresence {
    Answered,  // a boot program echoed the matching byte
    Silent,    // the port opened, but nothing answered (or the probe was stopped)
    Unusable   // the port could not be opened: Failure() says why
};

// How the module goes beyond the window's design, for velmora-cli.
struct ModuleOptions {
    // Each transaction ends as soon as its reply is complete; its fixed delay and send wait stay
    // the upper limit. The waits for the board's reaction to the port's opening and closing stay.
    bool replyPaced = false;
    // ProgrammingSequence ends programming with the documented end frame and leaves the port open
    // for VerifyUserMat.
    bool verify = false;
    // Programming ends with the documented end frame also without verify: the boot programs that
    // follow the manuals take the design's two bytes for the start of a block and never answer.
    bool documentedEndFrame = false;
    // The longest wait for the erase's ACK from the programming/erasing state transition on, a
    // whole number of seconds; past the transition's fixed delay, the design's bound, it ends when
    // a reply arrives.
    int eraseTimeoutMilliseconds = kTransitionDelay;
    // A block answered with a checksum error (0xD0 0x11), which the board did not program, is sent
    // once more; a second refusal fails as the first would.
    bool resendChecksumRefusals = false;
};

class ModUpdate1527 final : public UpdateModule {
public:
    // The module owns its link (the board's COM port, or a simulated board in a test) and waits on
    // its clock; it opens and closes the link as the steps need it, at each step's rate.
    explicit ModUpdate1527(
        std::unique_ptr<SerialLink> link,
        std::unique_ptr<WaitClock> clock = std::unique_ptr<WaitClock>(new SystemWaitClock));
    ~ModUpdate1527();
    ModUpdate1527(const ModUpdate1527&) = delete;
    ModUpdate1527& operator=(const ModUpdate1527&) = delete;

    // The clock every wait of the module goes through.
    WaitClock& Clock() { return *clock_; }
    // Where the module's reports go from now on, at the moments the design calls its four
    // callbacks; null: nowhere, as after construction. `reports` outlives its use here.
    void SetReports(ModuleReports* reports);

    // Also starts the records of a new run (BlocksAcknowledged and the rest below).
    bool OpenCom(const char* portName) override;
    bool EraseSquence() override;
    // Lays the reader's image and programs it with ProgramImage.
    bool ProgrammingSequence(SRECReader* reader) override;
    bool Reboot() override;

    bool SetBootMode(bool useCharacterCommand);
    bool ConnectApprove();
    bool InquireDevices(DeviceList& list);
    bool InquireProgrammingModes(std::vector<uint16_t>& modes);
    bool SelectDevice(const DeviceEntry& entry);
    bool SetClockMode(uint8_t mode);
    bool SelectBPS(const uint8_t* parameters);
    // Reopens the port at `bitRate`, the rate the link keeps until the run ends.
    bool ChangeBPS(int bitRate);
    bool ConfirmBPS();
    bool SetProgrammingMode();
    // ProgrammingSequence for an image laid already, as the run is handed it: its blocks and the
    // end of programming, or its refusal reported; the port closes unless the flash is verified
    // next. True without sending anything when the image has no data.
    bool ProgramImage(const FirmwareImage& image);

    // Whether a board in boot mode is on the port: the board reset as boot-mode entry resets it,
    // then a few matching bytes. Quiet: nothing is logged or reported, whatever the outcome. The
    // matching leaves the boot program waiting for the handshake, so a run that follows starts
    // from its own reset. For a station that waits for boards to be put in and taken out.
    BoardPresence Probe(const char* portName);

    // The fixed pacing and the design's end frame unless set otherwise; the window never does.
    void SetOptions(const ModuleOptions& options);
    // User MAT information inquiry (0x25): the areas of the user MAT. False, with a report, when
    // the reply is missing, malformed or its SUM is wrong.
    bool InquireUserMat(std::vector<FlashArea>& areas);
    // After a ProgrammingSequence with the verify option: the user MAT sum check (0x4B) against the
    // image as programmed into `areas` (0xFF where it has no data). On a mismatch, and with
    // `readBack` after a match too, the sent blocks are read back (0x52) and compared byte for
    // byte, which names the first byte that differs. Logs the outcome; closes the port.
    bool VerifyUserMat(const FirmwareImage& image, const std::vector<FlashArea>& areas,
                       bool readBack);

    // Why the last operation that returned false failed, made where it failed; each operation
    // starts it afresh. Read right after the operation, before the next one.
    const StepFailure& Failure() const { return failure_; }
    // What the last run left to explain its outcome, read once it has ended.
    // Blocks of the last ProgrammingSequence that the board acknowledged.
    int BlocksAcknowledged() const { return blocksAcknowledged; }
    // The board answered the last end of programming with ACK.
    bool EndOfProgrammingAcknowledged() const { return endAcknowledged; }
    // The user MAT's sum, once VerifyUserMat found it equal to the image's.
    std::optional<uint32_t> VerifiedSum() const { return verifiedSum; }
    // The first byte that the read-back found to differ from the image, once it found one.
    std::optional<ByteDifference> FirstDifference() const { return firstDifference; }

    void CloseCom();
    // Before a run's OpenCom: the rates of `bitRates` that the port's driver does not run, as the
    // link finds out without a byte going to the board.
    std::vector<RefusedBitRate> BitRatesRefused(const char* portName,
                                                const std::vector<int>& bitRates);
    // Both end at once, with false, when the port's device is lost.
    bool WaitPortReady(int polls);
    bool WaitSendDone(int limit);
    // Every fixed delay of the protocol: false when it ended early because the link was lost or
    // the run was interrupted.
    bool Pause(int milliseconds);

    // From any thread, for example a Ctrl-C handler: the run stops before its next frame. From
    // then on no frame goes out and every protocol delay ends at once, so the operation under
    // way fails and the run takes its way out, whose reboot still opens and closes the port.
    // Abort also ends the waits for the port, so that nothing is left waiting at all. Both hold
    // for the rest of the module's life.
    void Interrupt();
    void Abort();
    bool Interrupted() const;

    // The port's event callback, with the module as its context: reader-thread state and
    // received bytes.
    static int32_t OnSerialEvent(SerialLink* port, int32_t code, void* module);
    // The bytes received since the last frame was sent.
    std::vector<uint8_t> ReceivedBytes() const { return received.Snapshot(); }

    std::atomic<bool> readerActive;  // written only by OnSerialEvent

private:
    // Whether a reset opening fails when the port's reader does not come up in time.
    enum class ReaderWait { Required, Ignored };

    // Starts an operation of `step`: no failure, nothing sent or received yet.
    void Begin(Step step);
    // Records why the operation under way fails, with what it sent and received; false, for the
    // operation to return.
    bool Fail(FailureCause cause, const std::string& description);
    // An operation that needs the port before the first OpenCom.
    bool FailNotConnected();
    // The port could not be opened: its problem too.
    bool FailOpening(const std::string& description);
    // The last frame's reply in words: no answer, or Refused.
    bool FailUnacknowledged();
    // The same for an inquiry whose reply begins with `code`: a reply that begins so but does not
    // pass is malformed.
    bool FailInquiry(uint8_t code);
    // Opens the port at `bitRate` with the boot program's line settings (8 data bits, no parity,
    // no line events, default flow control).
    RS232COpenResult OpenPort(int bitRate);
    // Opens the port at the reset rate, waits for its reader and closes it again: the board
    // resets. An opening that fails is reported for `operation`. A reader that does not come up
    // fails the operation with the port left open, unless ignored; `unavailable` describes both
    // failures.
    bool OpenAtResetRate(const char* operation, ReaderWait wait, const std::string& unavailable);
    // Empties the receive buffer, then hands the whole frame to the port, so that no early reply
    // is thrown away.
    void SendFrame(const uint8_t* frame, size_t length);
    // The bytes received since the last frame, kept as that frame's reply.
    std::vector<uint8_t> TakeReply();
    // One transaction: SendFrame, pause for the command's fixed delay, wait for the transmission
    // with the command's limit, and return whatever has arrived since the buffer was emptied. Both
    // waits end at once when the link is lost; the caller then asks ReportIfHalted.
    // Reply-paced, the delay ends as soon as a reply of `shape` is complete.
    std::vector<uint8_t> Transact(const uint8_t* frame, size_t length, int delayMilliseconds,
                                  int sendLimit, ReplyShape shape);
    std::vector<uint8_t> Transact(uint8_t command, int delayMilliseconds, int sendLimit,
                                  ReplyShape shape);
    // The end of programming: its frame, and a non-ACK reply logged (it does not fail the step);
    // false only when the link is lost or the run interrupted.
    bool EndProgramming();
    // A fixed delay that, reply-paced, also ends once the received bytes make a reply of `shape`.
    bool AwaitReply(int milliseconds, ReplyShape shape);
    // Up to `milliseconds`, in either pacing, until a first byte has arrived.
    void AwaitFirstByte(int milliseconds);
    // A block's frame sent and its reply judged; false, reported, unless the board took it.
    bool ProgramBlock(const uint8_t* frame, uint32_t address);
    // A command frame whose success is the board's ACK: false also when the link is lost or the
    // run interrupted (reported for `operation`).
    bool AcknowledgedTransaction(const char* operation, const std::vector<uint8_t>& frame,
                                 int delayMilliseconds);
    // The memory read of `size` bytes from `address` of the user MAT; false, with a report, on an
    // error reply, a missing or short reply, or a wrong SUM.
    bool ReadUserMat(uint32_t address, uint32_t size, std::vector<uint8_t>& data);
    // The sum check; false, with a report, on a reply that is missing or malformed.
    bool SumOfUserMat(uint32_t& total);
    enum class ReadBack { Same, Differs, Failed };
    // Every sent block of the image read back and compared; the first difference is logged.
    ReadBack ReadBackSentBlocks(const FirmwareImage& image);
    // True when a reply arrived and begins with `first`.
    static bool StartsWith(const std::vector<uint8_t>& reply, uint8_t first);
    // True, after reporting it for `operation` and recording the failure, when the link is lost
    // or the run interrupted; the caller then fails, so that each operation reports it once.
    bool ReportIfHalted(const char* operation);

    std::unique_ptr<WaitClock> clock_;
    std::unique_ptr<SerialLink> port;
    // The design creates the port at the first OpenCom: until then the operations that need it
    // report that it is not connected.
    bool connected;
    // Appended by the reader thread (OnSerialEvent), emptied and read by the update thread.
    ReceiveBuffer received;
    ModuleOptions options;
    bool programmingState;
    int programmingBitRate;  // the rate ChangeBPS moved the link to
    std::string portName;
    // The operation under way: its last frame and that frame's reply, once judged, and why it
    // failed.
    std::vector<uint8_t> sent_;
    std::vector<uint8_t> reply_;
    StepFailure failure_;
    int blocksAcknowledged;
    bool endAcknowledged;
    std::optional<uint32_t> verifiedSum;
    std::optional<ByteDifference> firstDifference;
    // Raised by OnSerialEvent when the reader thread ends on an I/O failure; cleared by OpenPort.
    ModulePause pause;
    ModuleReports nobody_;
    ModuleReports* reports_;  // never null: nobody_ when no one watches
};
