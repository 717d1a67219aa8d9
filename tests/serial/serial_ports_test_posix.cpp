// The Linux port list on a made-up system tree: which ttys count, their order, their by-id names.
#include "serial/serial_ports.h"

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class FakeSystem {
public:
    FakeSystem() {
        char pattern[] = "/tmp/velmora-ports-XXXXXX";
        root_ = mkdtemp(pattern) != nullptr ? pattern : "";
        fs::create_directories(root_ + "/dev/serial/by-id");
    }
    ~FakeSystem() { fs::remove_all(root_); }

    void Device(const std::string& name) { std::ofstream(root_ + "/dev/" + name); }
    // A UART of this type behind /dev/ttyS<n>; 0 for none.
    void Uart(const std::string& name, int type) {
        fs::create_directories(root_ + "/sys/class/tty/" + name);
        std::ofstream(root_ + "/sys/class/tty/" + name + "/type") << type << "\n";
    }
    void ById(const std::string& id, const std::string& device) {
        fs::create_symlink("../../" + device, root_ + "/dev/serial/by-id/" + id);
    }
    // A USB device at `usb` under /sys/devices with these descriptors, and the tty `name` behind
    // its interface `interface`, `below` it: "" for a modem's (ttyACM), "/ttyUSB0" for an
    // adapter's.
    void Usb(const std::string& usb, const std::string& interface, const std::string& below,
             const std::string& name, const UsbIdentity& identity) {
        const std::string device = root_ + "/sys/devices/pci0000:00/" + usb;
        fs::create_directories(device + "/" + interface + below);
        std::ofstream(device + "/idVendor") << identity.vendorId << "\n";
        std::ofstream(device + "/idProduct") << identity.productId << "\n";
        if (!identity.serialNumber.empty()) {
            std::ofstream(device + "/serial") << identity.serialNumber << "\n";
        }
        std::ofstream(device + "/manufacturer") << identity.manufacturer << "\n";
        std::ofstream(device + "/product") << identity.product << "\n";
        fs::create_directories(root_ + "/sys/class/tty/" + name);
        fs::create_symlink("../../../devices/pci0000:00/" + usb + "/" + interface + below,
                           root_ + "/sys/class/tty/" + name + "/device");
    }
    const std::string& root() const { return root_; }

private:
    std::string root_;
};

TEST(SerialPortList, ListsUartsAndUsbPortsInOrderWithTheirStableNames) {
    FakeSystem system;
    for (const char* name : {"ttyS0", "ttyS1", "ttyS10", "ttyS2", "ttyUSB1", "ttyUSB0", "ttyACM0",
                             "tty0", "ttyprintk", "ttySX", "console"}) {
        system.Device(name);
    }
    system.Uart("ttyS0", 4);
    system.Uart("ttyS1", 0);  // the kernel's placeholder: no UART answers there
    system.Uart("ttyS2", 4);
    system.Uart("ttyS10", 4);
    system.ById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB1");

    const std::vector<SerialPortName> ports = ListSerialPorts(system.root());
    std::vector<std::string> listed;
    for (const SerialPortName& port : ports) {
        listed.push_back(port.name + (port.alias.empty() ? "" : " = " + port.alias));
    }
    EXPECT_EQ((std::vector<std::string>{
                  "/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0",
                  "/dev/ttyUSB1 = /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                  "/dev/ttyACM0"}),
              listed);
}

TEST(SerialPortList, NamesTheUsbDeviceAboveEachUsbPort) {
    FakeSystem system;
    for (const char* name : {"ttyS0", "ttyUSB0", "ttyACM0"}) {
        system.Device(name);
    }
    system.Uart("ttyS0", 4);
    system.Usb("usb1/1-1", "1-1:1.0", "/ttyUSB0", "ttyUSB0",
               {"0403", "6001", "A50285BI", "FTDI", "FT232R USB UART"});
    // A modem without a serial number, behind a hub.
    system.Usb("usb1/1-2/1-2.1", "1-2.1:1.0", "", "ttyACM0",
               {"2341", "0043", "", "Arduino", "Uno"});

    const std::vector<SerialPortName> ports = ListSerialPorts(system.root());
    ASSERT_EQ(3u, ports.size());
    std::vector<std::string> identities;
    for (const SerialPortName& port : ports) {
        const UsbIdentity& usb = port.usb;
        identities.push_back(port.name + " " + usb.vendorId + ":" + usb.productId + " [" +
                             usb.serialNumber + "] " + usb.manufacturer + ", " + usb.product);
    }
    EXPECT_EQ((std::vector<std::string>{"/dev/ttyS0 : [] , ",
                                        "/dev/ttyUSB0 0403:6001 [A50285BI] FTDI, FT232R USB UART",
                                        "/dev/ttyACM0 2341:0043 [] Arduino, Uno"}),
              identities);
}

}  // namespace
