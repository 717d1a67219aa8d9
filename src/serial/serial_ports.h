// The serial ports of this machine: the names a person picks from, in the window's combo box or
// for the command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The USB device behind a port, as its descriptors name it; each field empty where unknown.
struct UsbIdentity {
    std::string vendorId;   // four hexadecimal digits, as lsusb shows them: "0403"
    std::string productId;  // "6001"
    std::string serialNumber;
    std::string manufacturer;
    std::string product;
};

struct SerialPortName {
    std::string name;   // what to pass as the port: COM3, /dev/ttyUSB0
    std::string alias;  // a stable name of the same device where the system has one, else empty
    UsbIdentity usb;
};

// Windows: the COM ports as the window lists them (the system's device names, or probing on old
// systems), in the order found, without USB identities. Linux: /dev/ttyS* that have a UART
// behind them, /dev/ttyUSB* and /dev/ttyACM*, each with its /dev/serial/by-id name and the USB
// device that sysfs puts above it. `root` is prepended to every system path ("" for the real
// system).
std::vector<SerialPortName> ListSerialPorts(const std::string& root = "");

// At most this many COM ports are listed: the window counts them in 8 bits.
const size_t kMaxComPorts = 255;

// The COM port numbers in a device-name list: `names` holds up to `length` UTF-16 units of
// zero-terminated names, the last followed by an empty name. Every name longer than three units
// that starts with "COM" (case-sensitive) and whose remainder starts with a number from 1 to 255
// counts, in list order, up to kMaxComPorts. "COM1A" counts as port 1; "COM", "COMX", "COM0" and
// "COM300" are skipped.
std::vector<uint8_t> ComPortNumbers(const wchar_t* names, size_t length);
