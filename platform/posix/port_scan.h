// The devices that COM1 to COM4 stand for when nothing names them: USB serial adapters first,
// then built-in ports with a UART behind them, never the system console or a login terminal.
#ifndef ARMLINK_PLATFORM_POSIX_PORT_SCAN_H
#define ARMLINK_PLATFORM_POSIX_PORT_SCAN_H

#include <string>
#include <vector>

// Where the scan looks. szRoot is "" for the machine itself, or the top of a tree laid out like
// it (/dev, /sys/class/tty) for the tests; loginLines are the terminals ("ttyS1", "pts/3") that a
// login or a login prompt runs on.
struct PortScanSources {
    std::string root;
    std::vector<std::string> loginLines;
};

// What the scan found: the devices in COM order, and the terminals it left out on purpose
// (with the reason), for the port listing.
struct PortScan {
    std::vector<std::string> devices;  // full paths, as the machine names them
    std::vector<std::string> skipped;  // "/dev/ttyS0: the system console"
};

// The machine's own sources: the root "/" and the login lines of the utmp database.
PortScanSources MachinePortSources();

// Scans in a stable order: the links of /dev/serial/by-id resolved, in the order of their names
// (when there are none: /dev/ttyUSB* then /dev/ttyACM*, by number), then /dev/ttyS* whose UART
// type in /sys/class/tty/<name>/type is not 0 (a legacy node without a UART), by number. A device
// that is an active console (/sys/class/tty/console/active) or a login line is left out.
PortScan ScanDefaultPorts(const PortScanSources& sources);

#endif
