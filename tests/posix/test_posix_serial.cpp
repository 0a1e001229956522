// The termios serial device over a pty pair: the port map, the exclusive open, the line the peer
// sees and the line put back at the close, the poll, reads, the input wait and a hung-up peer;
// and the network address a port may map to instead of a device.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/app_state.h"
#include "common/serial_device.h"
#include "platform/posix/network_port.h"
#include "platform/posix/port_scan.h"
#include "platform/posix/posix_platform.h"
#include "serial/search_worker.h"
#include "support/virtual_platform.h"

namespace {

struct OpenFailure {
    unsigned nPort;
    std::string path;
    std::string reason;
};

std::vector<OpenFailure> g_Failures;

// Opens COMn on the POSIX bus and keeps the reason of a failure.
SerialDevice* OpenRecorded(unsigned nPort) {
    PortOpenFailure failure;
    SerialDevice* pDevice = OpenOn(PosixSerialBus(), nPort, &failure);
    if (pDevice == nullptr) {
        g_Failures.push_back(OpenFailure{nPort, failure.szDevice, failure.szReason});
    }
    return pDevice;
}

long ElapsedMs(std::chrono::steady_clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

// A pty pair: the test plays the arm on the master; ArmLink opens the slave as COM3.
class PosixSerial : public ::testing::Test {
  protected:
    void SetUp() override {
        fdMaster = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(fdMaster, 0);
        ASSERT_EQ(grantpt(fdMaster), 0);
        ASSERT_EQ(unlockpt(fdMaster), 0);
        char szName[128];
        ASSERT_EQ(ptsname_r(fdMaster, szName, sizeof(szName)), 0);
        slavePath = szName;
        char szDir[] = "/tmp/armlink-serial-XXXXXX";
        ASSERT_NE(mkdtemp(szDir), nullptr);
        tempDir = szDir;
        settingsPath = tempDir + "/settings.ini";
        SetSettingsFilePath(settingsPath.c_str());
        for (unsigned n = 1; n <= 4; ++n) {
            unsetenv(VariableOf(n).c_str());
        }
        setenv("ARMLINK_COM3", slavePath.c_str(), 1);
        g_Failures.clear();
    }

    void TearDown() override {
        for (unsigned n = 1; n <= 4; ++n) {
            unsetenv(VariableOf(n).c_str());
        }
        SetSettingsFilePath(nullptr);
        CloseMaster();
        unlink(settingsPath.c_str());
        rmdir(tempDir.c_str());
    }

    static std::string VariableOf(unsigned n) { return "ARMLINK_COM" + std::to_string(n); }

    void CloseMaster() {
        if (fdMaster >= 0) {
            close(fdMaster);
            fdMaster = -1;
        }
    }

    // The line state as the peer sees it.
    struct termios PeerTermios() {
        struct termios tio;
        memset(&tio, 0, sizeof(tio));
        EXPECT_EQ(tcgetattr(fdMaster, &tio), 0);
        return tio;
    }

    void SendFromArm(const std::string& bytes) {
        ASSERT_EQ(write(fdMaster, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Waits (briefly) until the pty has moved nCount bytes into the device's input queue.
    uint32_t WaitQueued(SerialDevice* pDevice, uint32_t nCount) {
        bool bLineError = false;
        uint32_t cbInQue = 0;
        for (int i = 0; i < 100; ++i) {
            EXPECT_TRUE(pDevice->Poll(&bLineError, &cbInQue));
            if (cbInQue >= nCount) {
                break;
            }
            pDevice->WaitForInput(5);
        }
        return cbInQue;
    }

    // What the arm received, read until nCount bytes have come or 1 s has passed.
    std::string ReadAtArm(size_t nCount) {
        std::string got;
        auto start = std::chrono::steady_clock::now();
        while (got.size() < nCount && ElapsedMs(start) < 1000) {
            struct pollfd pfd = {fdMaster, POLLIN, 0};
            if (poll(&pfd, 1, 20) > 0) {
                char buffer[4096];
                ssize_t nGot = read(fdMaster, buffer, sizeof(buffer));
                if (nGot > 0) {
                    got.append(buffer, static_cast<size_t>(nGot));
                }
            }
        }
        return got;
    }

    // Sets the line from the peer's side, as another program would have left it: 38400 baud,
    // two stop bits, both flow controls, canonical input with echo, output processing.
    void SetForeignLine() {
        struct termios tio = PeerTermios();
        cfsetispeed(&tio, B38400);
        cfsetospeed(&tio, B38400);
        tio.c_cflag |= CSTOPB | CRTSCTS;
        tio.c_iflag |= IXON | IXOFF | ICRNL;
        tio.c_lflag |= ICANON | ECHO | ISIG;
        tio.c_oflag |= OPOST | ONLCR;
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 5;
        ASSERT_EQ(tcsetattr(fdMaster, TCSANOW, &tio), 0);
    }

    static void ExpectSameLine(const struct termios& before, const struct termios& after) {
        EXPECT_EQ(after.c_iflag, before.c_iflag);
        EXPECT_EQ(after.c_oflag, before.c_oflag);
        EXPECT_EQ(after.c_cflag, before.c_cflag);
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
        EXPECT_EQ(cfgetispeed(&after), cfgetispeed(&before));
        EXPECT_EQ(memcmp(after.c_cc, before.c_cc, sizeof before.c_cc), 0);
    }

    int fdMaster = -1;
    std::string slavePath;
    std::string tempDir;
    std::string settingsPath;
};

TEST_F(PosixSerial, OpensTheMappedDeviceInRawMode) {
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    EXPECT_TRUE(g_Failures.empty());
    struct termios tio = PeerTermios();
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 1);  // an empty queue is EAGAIN, not a read of 0
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    // The bytes go out exactly as given: no CR added to a LF.
    EXPECT_EQ(pDevice->WriteAndDrain("_I\n", 3), 3u);
    EXPECT_EQ(ReadAtArm(3), "_I\n");
    delete pDevice;
}

// A port held by another opener is refused, and the refused open changes nothing on the
// holder's line: held by a second ArmLink, or by another program that locks it the same way.
TEST_F(PosixSerial, SecondOpenFailsWhileTheFirstHoldsThePort) {
    SerialDevice* pFirst = OpenRecorded(3);
    ASSERT_NE(pFirst, nullptr);
    ASSERT_TRUE(pFirst->SetLine(19200, 'n', 8));
    EXPECT_EQ(OpenRecorded(3), nullptr);
    struct termios holders = PeerTermios();
    EXPECT_EQ(cfgetospeed(&holders), static_cast<speed_t>(B19200));
    delete pFirst;

    // Another program holds it, with a lock or in exclusive mode (which root passes).
    SetForeignLine();
    struct termios held = PeerTermios();
    for (bool bLock : {true, false}) {
        int fdOther = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fdOther, 0);
        ASSERT_EQ(bLock ? flock(fdOther, LOCK_EX | LOCK_NB) : ioctl(fdOther, TIOCEXCL), 0);
        EXPECT_EQ(OpenRecorded(3), nullptr) << bLock;
        ExpectSameLine(held, PeerTermios());
        ioctl(fdOther, TIOCNXCL);
        close(fdOther);
    }
    ASSERT_EQ(g_Failures.size(), 3u);
    for (const OpenFailure& failure : g_Failures) {
        EXPECT_EQ(failure.nPort, 3u);
        EXPECT_EQ(failure.path, slavePath);
        EXPECT_EQ(failure.reason, "in use by another program");
    }
    SerialDevice* pAgain = OpenRecorded(3);
    EXPECT_NE(pAgain, nullptr);
    delete pAgain;
}

TEST_F(PosixSerial, FailedOpensReportTheirReason) {
    setenv("ARMLINK_COM4", "/nonexistent/armlink-port", 1);
    setenv("ARMLINK_COM2", "/dev/null", 1);
    struct Case {
        unsigned nPort;
        const char* szPath;
        const char* szReason;
    } cases[] = {
        {4, "/nonexistent/armlink-port", "no such device"},
        {2, "/dev/null", "not a serial device"},
        {0, "", "no such port"},
        {5, "", "no such port"},
    };
    for (const Case& c : cases) {
        g_Failures.clear();
        EXPECT_EQ(OpenRecorded(c.nPort), nullptr) << c.nPort;
        ASSERT_EQ(g_Failures.size(), 1u) << c.nPort;
        EXPECT_EQ(g_Failures[0].nPort, c.nPort);
        EXPECT_EQ(g_Failures[0].path, c.szPath);
        EXPECT_EQ(g_Failures[0].reason, c.szReason) << c.nPort;
    }
}

TEST_F(PosixSerial, PortMapTriesOptionThenEnvironmentThenSettingsThenDefault) {
    FILE* pFile = fopen(settingsPath.c_str(), "w");
    ASSERT_NE(pFile, nullptr);
    fputs("[Ports]\nCOM1=/dev/ttyUSB0\nCOM2 = /dev/ttyACM1 \n", pFile);
    fclose(pFile);
    setenv("ARMLINK_COM2", "/dev/pts/77", 1);
    setenv("ARMLINK_COM4", "", 1);  // empty: not a mapping
    ASSERT_TRUE(SetPortOverride(1, "/dev/from-the-option"));
    // COM4 is the fourth device of the machine's default map, when it has one.
    PortScan scan = ScanDefaultPorts(MachinePortSources());
    std::string fourth = scan.devices.size() >= 4 ? scan.devices[3] : "";
    struct Case {
        unsigned nPort;
        PortSource source;
        const char* szPath;
    } cases[] = {
        {1, kPortFromOption, "/dev/from-the-option"},  // over the settings file
        {2, kPortFromEnvironment, "/dev/pts/77"},      // the environment wins over the file
        {3, kPortFromEnvironment, slavePath.c_str()},
        {4, fourth.empty() ? kPortNone : kPortFromDefault, fourth.c_str()},
        {0, kPortNone, ""},
        {5, kPortNone, ""},
    };
    for (const Case& c : cases) {
        char szPath[256] = "junk";
        EXPECT_EQ(ResolvePortSource(c.nPort, szPath, sizeof(szPath)), c.source) << c.nPort;
        EXPECT_STREQ(szPath, c.szPath) << c.nPort;
    }
    SetPortOverride(1, "");  // refused: the override stays
    char szSmall[8] = "junk";
    EXPECT_FALSE(ResolvePortPath(2, szSmall, sizeof(szSmall)));  // "/dev/pts/77" does not fit
    EXPECT_STREQ(szSmall, "");
    ClearPortOverrides();
    char szPath[256] = "";
    EXPECT_EQ(ResolvePortSource(1, szPath, sizeof szPath), kPortFromSettings);
    EXPECT_STREQ(szPath, "/dev/ttyUSB0");
}

// The six rates of the search reach the peer; any other rate, or data bits other than 7 and
// 8, are refused and leave the line as it was.
TEST_F(PosixSerial, SetLineProgramsTheRateThePeerSees) {
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    struct Case {
        uint32_t nBaud;
        uint8_t nDataBits;
        bool bTaken;
        speed_t speed;  // what the peer sees afterwards
    } cases[] = {
        {4800, 8, true, B4800},      {9600, 7, true, B9600},    {19200, 8, true, B19200},
        {38400, 8, true, B38400},    {57600, 7, true, B57600},  {115200, 8, true, B115200},
        {230400, 8, false, B115200}, {2400, 8, false, B115200}, {14400, 8, false, B115200},
        {0, 8, false, B115200},      {9600, 6, false, B115200}, {9600, 9, false, B115200},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pDevice->SetLine(c.nBaud, 'n', c.nDataBits), c.bTaken) << c.nBaud;
        struct termios tio = PeerTermios();
        EXPECT_EQ(cfgetospeed(&tio), c.speed) << c.nBaud;
        EXPECT_EQ(cfgetispeed(&tio), c.speed) << c.nBaud;
    }
    delete pDevice;
}

// Whatever the line had, the arm's line has one stop bit, no flow control of either kind, and
// parity checked.
TEST_F(PosixSerial, SetLineLeavesOneStopBitAndNoFlowControl) {
    SetForeignLine();
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    // A pty carries 8 data bits without parity only (the kernel refuses a change to either):
    // the framing is proven with the simulated line.
    ASSERT_TRUE(pDevice->SetLine(9600, 'n', 8));
    struct termios tio = PeerTermios();
    EXPECT_EQ(tio.c_cflag & (CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_NE(tio.c_iflag & INPCK, 0u);
    EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
    delete pDevice;
}

// Every look at this clock moves it a second on: each wait of the search is over at its first
// poll, so a whole run over a real port costs no real time.
class SteppingClock : public Clock {
  public:
    uint32_t TickCount() override { return nNow += 1000; }
    void GetLocalTime(LocalTime* pTime) override { memset(pTime, 0, sizeof *pTime); }
    void Sleep(uint32_t nMs) override { nNow += nMs; }
    uint32_t nNow = 0;
};

// A search that finds nothing gives the port up and puts its line back as it found it, each
// setting of the other program's included.
TEST_F(PosixSerial, SearchThatFindsNothingLeavesTheLineAsItWasFound) {
    for (unsigned n : {1u, 2u, 4u}) {
        setenv(VariableOf(n).c_str(), (tempDir + "/no-port").c_str(), 1);
    }
    SetForeignLine();
    struct termios before = PeerTermios();

    SteppingClock clock;
    VirtualClock eventClock;
    InlineThreads threads(&eventClock);
    MemorySettings settings;
    ResetAppState();
    g_Platform.pClock = &clock;
    g_Platform.pThreads = &threads;
    g_Platform.pBus = PosixSerialBus();
    g_Platform.pSettings = &settings;
    Event** events[] = {&g_App.SearchDoneEvent, &g_App.ConnectedEvent, &g_App.StopEvent,
                        &g_App.WorkerExitedEvent};
    for (Event** ppEvent : events) {
        *ppEvent = threads.CreateEvent();
    }
    g_App.Line = {3, 9600, 'n', 8, 1};

    StartSearchWorker();

    EXPECT_TRUE(g_App.SearchDoneEvent->IsSet());
    EXPECT_FALSE(g_App.ConnectedEvent->IsSet());
    EXPECT_EQ(g_App.hPort.load(), nullptr);
    std::string thirteen;
    for (int i = 0; i < 13; ++i) {
        thirteen += "_I";
    }
    EXPECT_EQ(ReadAtArm(thirteen.size()), thirteen) << "the port had its thirteen tries";
    ExpectSameLine(before, PeerTermios());

    for (Event** ppEvent : events) {
        delete *ppEvent;
        *ppEvent = nullptr;
    }
    g_Platform = Platform();
}

TEST_F(PosixSerial, PollCountsQueuedBytesAndReadsTakeOnlyThose) {
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    bool bLineError = true;
    uint32_t cbInQue = 99;
    ASSERT_TRUE(pDevice->Poll(&bLineError, &cbInQue));
    EXPECT_FALSE(bLineError);
    EXPECT_EQ(cbInQue, 0u);

    SendFromArm("1.2.3\r\n");
    EXPECT_EQ(WaitQueued(pDevice, 7), 7u);
    ASSERT_TRUE(pDevice->Poll(&bLineError, &cbInQue));
    EXPECT_FALSE(bLineError);  // a pty counts no line errors

    // Asking for more than is queued returns at once with what is there.
    char buffer[64];
    memset(buffer, 'X', sizeof(buffer));
    auto start = std::chrono::steady_clock::now();
    uint32_t nRead = pDevice->Read(buffer, sizeof(buffer));
    EXPECT_LT(ElapsedMs(start), 50);
    EXPECT_EQ(nRead, 7u);
    EXPECT_EQ(std::string(buffer, 8), std::string("1.2.3\r\nX"));
    ASSERT_TRUE(pDevice->Poll(&bLineError, &cbInQue));
    EXPECT_EQ(cbInQue, 0u);

    // An empty queue: a read of 64 returns 0 bytes at once.
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(pDevice->Read(buffer, sizeof(buffer)), 0u);
    EXPECT_LT(ElapsedMs(start), 50);
    delete pDevice;
}

TEST_F(PosixSerial, PurgeEmptiesTheInputQueue) {
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    SendFromArm("stale");
    ASSERT_EQ(WaitQueued(pDevice, 5), 5u);
    pDevice->Purge();
    bool bLineError = false;
    uint32_t cbInQue = 99;
    ASSERT_TRUE(pDevice->Poll(&bLineError, &cbInQue));
    EXPECT_EQ(cbInQue, 0u);
    delete pDevice;
}

TEST_F(PosixSerial, WaitForInputEndsWhenNewBytesArrive) {
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    // Nothing comes: the whole wait.
    auto start = std::chrono::steady_clock::now();
    pDevice->WaitForInput(30);
    EXPECT_GE(ElapsedMs(start), 25);

    // A byte after 20 ms ends a 2000 ms wait early.
    std::thread arm([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SendFromArm("1");
    });
    start = std::chrono::steady_clock::now();
    pDevice->WaitForInput(2000);
    long nElapsed = ElapsedMs(start);
    arm.join();
    EXPECT_LT(nElapsed, 1000);
    EXPECT_EQ(WaitQueued(pDevice, 1), 1u);

    // With that byte counted by the poll the wait does not return at once (no spinning
    // caller)...
    start = std::chrono::steady_clock::now();
    pDevice->WaitForInput(30);
    EXPECT_GE(ElapsedMs(start), 25);
    // ...but a further byte still ends it early, also one that came between the poll and
    // the wait.
    std::thread more([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SendFromArm("2");
    });
    start = std::chrono::steady_clock::now();
    pDevice->WaitForInput(2000);
    nElapsed = ElapsedMs(start);
    more.join();
    EXPECT_LT(nElapsed, 1000);
    EXPECT_EQ(WaitQueued(pDevice, 2), 2u);
    SendFromArm("3");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    start = std::chrono::steady_clock::now();
    pDevice->WaitForInput(2000);
    EXPECT_LT(ElapsedMs(start), 1000);
    delete pDevice;
}

TEST_F(PosixSerial, LongWriteArrivesWhole) {
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    // More than the pty buffers at once: the write waits for room and goes on.
    std::string data;
    for (int i = 0; i < 20000; ++i) {
        data += static_cast<char>('A' + i % 26);
    }
    std::string got;
    std::thread arm([this, &got, &data] { got = ReadAtArm(data.size()); });
    uint32_t nWritten = pDevice->WriteAndDrain(data.data(), static_cast<uint32_t>(data.size()));
    arm.join();
    EXPECT_EQ(nWritten, data.size());
    EXPECT_EQ(got, data);
    delete pDevice;
}

TEST_F(PosixSerial, HungUpPeerFailsThePoll) {
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    bool bLineError = false;
    uint32_t cbInQue = 0;
    ASSERT_TRUE(pDevice->Poll(&bLineError, &cbInQue));
    CloseMaster();
    EXPECT_FALSE(pDevice->Poll(&bLineError, &cbInQue));
    char buffer[8];
    EXPECT_EQ(pDevice->Read(buffer, sizeof(buffer)), 0u);
    // The wait does not sit out its time on a dead line.
    auto start = std::chrono::steady_clock::now();
    pDevice->WaitForInput(2000);
    EXPECT_LT(ElapsedMs(start), 1000);
    delete pDevice;
}

}  // namespace

TEST(NetworkAddress, ReadsTheTwoKindsAndSaysWhatIsWrongWithTheRest) {
    struct Case {
        const char* szText;
        NetworkKind kind;
        const char* szHostOrWhy;
        unsigned nPort;
    } cases[] = {
        {"/dev/ttyUSB0", kNotNetwork, "", 0},
        {"rfc2217://ser2net.plant-3.local:3333", kNetworkRfc2217, "ser2net.plant-3.local", 3333},
        {"tcp://192.168.1.20:1", kNetworkRawTcp, "192.168.1.20", 1},
        {"RFC2217://[::1]:65535", kNetworkRfc2217, "::1", 65535},
        {"tcp://host", kNetworkBad, "no :PORT after the host", 0},
        {"tcp://host:", kNetworkBad, "no :PORT after the host", 0},
        {"tcp://host:0", kNetworkBad, "the port must be a number from 1 to 65535", 0},
        {"tcp://host:65536", kNetworkBad, "the port must be a number from 1 to 65535", 0},
        {"tcp://host:33a", kNetworkBad, "the port must be a number from 1 to 65535", 0},
        {"telnet://host:23", kNetworkBad, "unknown kind of address (rfc2217:// or tcp://)", 0},
        {"rfc2217://:3333", kNetworkBad, "no host", 0},
        {"rfc2217://::1:3333", kNetworkBad, "an IPv6 address goes between brackets, as [::1]", 0},
        {"tcp://[::1]3333", kNetworkBad, "no :PORT after the host", 0},
        {"tcp://[host]:1", kNetworkBad, "not an IPv6 address between [ and ]", 0},
        {"tcp://a,b:1", kNetworkBad, "not a host name or address", 0},
    };
    for (const Case& c : cases) {
        NetworkAddress address;
        char szWhy[96] = "";
        EXPECT_EQ(ParseNetworkAddress(c.szText, &address, szWhy, sizeof szWhy), c.kind) << c.szText;
        bool bGood = c.kind == kNetworkRfc2217 || c.kind == kNetworkRawTcp;
        EXPECT_STREQ(bGood                   ? address.szHost
                     : c.kind == kNetworkBad ? szWhy
                                             : "",
                     c.szHostOrWhy)
            << c.szText;
        EXPECT_EQ(bGood ? address.nPort : 0u, c.nPort) << c.szText;
    }
}
