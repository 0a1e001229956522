// The default port map over fake /dev trees: USB adapters first, then built-in ports with a
// UART, never the console or a login terminal, in an order that does not change between runs.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/posix/port_scan.h"

namespace {

// A fake machine: each entry "dev/ttyS0", "sys/class/tty/ttyS0/type=4" (a file with its first
// line) or "dev/serial/by-id/usb-x->../../ttyUSB1" (a link).
class FakeTree {
  public:
    explicit FakeTree(const std::vector<std::string>& entries) {
        char szDir[] = "/tmp/armlink-ports-XXXXXX";
        if (mkdtemp(szDir) != nullptr) {
            root = szDir;
        }
        for (const std::string& entry : entries) {
            size_t nArrow = entry.find("->");
            size_t nEquals = entry.find('=');
            std::string path = root + "/" + entry.substr(0, std::min(nArrow, nEquals));
            MakeParents(path);
            if (nArrow != std::string::npos) {
                EXPECT_EQ(symlink(entry.substr(nArrow + 2).c_str(), path.c_str()), 0) << path;
            } else {
                FILE* pFile = fopen(path.c_str(), "w");
                EXPECT_NE(pFile, nullptr) << path;
                if (pFile == nullptr) {
                    continue;
                }
                if (nEquals != std::string::npos) {
                    fprintf(pFile, "%s\n", entry.substr(nEquals + 1).c_str());
                }
                fclose(pFile);
            }
        }
    }
    ~FakeTree() { (void)system(("rm -rf '" + root + "'").c_str()); }

    std::string root;

  private:
    static void MakeParents(const std::string& path) {
        for (size_t n = path.find('/', 1); n != std::string::npos; n = path.find('/', n + 1)) {
            mkdir(path.substr(0, n).c_str(), 0755);
        }
    }
};

TEST(PortScan, OrderAndExclusions) {
    struct Case {
        const char* szWhat;
        std::vector<std::string> tree;
        std::vector<std::string> logins;
        std::vector<std::string> devices;
        std::vector<std::string> skipped;
    } cases[] = {
        {"nothing at all", {}, {}, {}, {}},
        {"USB adapters by number, then ACM, then UARTs; a ttyS without UART is left out",
         {"dev/ttyUSB10", "dev/ttyUSB2", "dev/ttyACM0", "dev/ttyS0", "dev/ttyS1", "dev/ttySx",
          "sys/class/tty/ttyS0/type=4", "sys/class/tty/ttyS1/type=0"},
         {},
         {"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyS0"},
         {}},
        {"by-id links resolved in the order of their names, once each",
         {"dev/ttyUSB0", "dev/ttyUSB1", "dev/serial/by-id/usb-B->../../ttyUSB0",
          "dev/serial/by-id/usb-A->../../ttyUSB1", "dev/serial/by-id/usb-A-if01->../../ttyUSB1",
          "dev/serial/by-id/usb-C->../../nowhere"},
         {},
         {"/dev/ttyUSB1", "/dev/ttyUSB0"},
         {}},
        {"the console and a login line are never opened by default",
         {"dev/ttyS0", "dev/ttyS1", "dev/ttyS2", "sys/class/tty/ttyS0/type=4",
          "sys/class/tty/ttyS1/type=4", "sys/class/tty/ttyS2/type=4",
          "sys/class/tty/console/active=tty0 ttyS0"},
         {"ttyS2", "pts/0"},
         {"/dev/ttyS1"},
         {"/dev/ttyS0: the system console", "/dev/ttyS2: a login runs on it"}},
    };
    for (const Case& c : cases) {
        FakeTree tree(c.tree);
        PortScanSources sources;
        sources.root = tree.root;
        sources.loginLines = c.logins;
        PortScan scan = ScanDefaultPorts(sources);
        EXPECT_EQ(scan.devices, c.devices) << c.szWhat;
        EXPECT_EQ(scan.skipped, c.skipped) << c.szWhat;
    }
}

}  // namespace
