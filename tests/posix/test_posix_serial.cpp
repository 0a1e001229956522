// The termios serial device over a pty pair: the port map, the exclusive open, the line state
// the peer sees, the poll, reads that never wait, the input wait and a hung-up peer.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/serial_device.h"
#include "support/virtual_platform.h"
#include "platform/posix/posix_platform.h"

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
        uint32_t dwErrors = 0;
        uint32_t cbInQue = 0;
        for (int i = 0; i < 100; ++i) {
            EXPECT_TRUE(pDevice->ClearCommError(&dwErrors, &cbInQue));
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

    // The state ApplyLineSettings writes for 9600 8N1.
    static CommState LineState(uint32_t nBaud) {
        CommState state;
        memset(&state, 0, sizeof(state));
        state.DCBlength = 28;
        state.BaudRate = nBaud;
        state.fBinary = 1;
        state.fParity = 1;
        state.fDtrControl = kDtrControlEnable;
        state.fRtsControl = kRtsControlEnable;
        state.XonLim = 100;
        state.XoffLim = 100;
        state.ByteSize = 8;
        state.Parity = kNoParity;
        state.StopBits = kOneStopBit;
        state.XonChar = 0x11;
        state.XoffChar = 0x13;
        return state;
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
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    // The bytes go out exactly as given: no CR added to a LF.
    uint32_t nWritten = 0;
    EXPECT_TRUE(pDevice->WriteFile("_I\n", 3, &nWritten));
    EXPECT_EQ(nWritten, 3u);
    EXPECT_TRUE(pDevice->FlushFileBuffers());
    EXPECT_EQ(ReadAtArm(3), "_I\n");
    delete pDevice;
}

TEST_F(PosixSerial, SecondOpenFailsWhileTheFirstHoldsThePort) {
    SerialDevice* pFirst = OpenRecorded(3);
    ASSERT_NE(pFirst, nullptr);
    CommState state = LineState(19200);
    state.fOutX = 1;  // IXON, which a raw-mode reset would clear
    ASSERT_TRUE(pFirst->SetCommState(state));

    EXPECT_EQ(OpenRecorded(3), nullptr);
    ASSERT_EQ(g_Failures.size(), 1u);
    EXPECT_EQ(g_Failures[0].nPort, 3u);
    EXPECT_EQ(g_Failures[0].path, slavePath);
    EXPECT_EQ(g_Failures[0].reason, "in use by another program");
    // The refused opener changed nothing on the holder's line.
    struct termios tio = PeerTermios();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_NE(tio.c_iflag & IXON, 0u);

    delete pFirst;
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

TEST_F(PosixSerial, PortMapTriesEnvironmentThenSettingsThenTtyS) {
    FILE* pFile = fopen(settingsPath.c_str(), "w");
    ASSERT_NE(pFile, nullptr);
    fputs("[Ports]\nCOM1=/dev/ttyUSB0\nCOM2 = /dev/ttyACM1 \n", pFile);
    fclose(pFile);
    setenv("ARMLINK_COM2", "/dev/pts/77", 1);
    setenv("ARMLINK_COM4", "", 1);  // empty: not a mapping
    struct Case {
        unsigned nPort;
        bool bOk;
        const char* szPath;
    } cases[] = {
        {1, true, "/dev/ttyUSB0"},  // settings file
        {2, true, "/dev/pts/77"},   // the environment wins over the file
        {3, true, slavePath.c_str()},
        {4, true, "/dev/ttyS3"},  // neither
        {0, false, ""},
        {5, false, ""},
    };
    for (const Case& c : cases) {
        char szPath[256] = "junk";
        EXPECT_EQ(ResolvePortPath(c.nPort, szPath, sizeof(szPath)), c.bOk) << c.nPort;
        EXPECT_STREQ(szPath, c.szPath) << c.nPort;
    }
    char szSmall[8] = "junk";
    EXPECT_FALSE(ResolvePortPath(1, szSmall, sizeof(szSmall)));  // "/dev/ttyUSB0" does not fit
    EXPECT_STREQ(szSmall, "");
}

TEST_F(PosixSerial, SetCommStateProgramsTheBaudThePeerSees) {
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    struct Case {
        uint32_t nBaud;
        speed_t speed;
    } cases[] = {
        {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},
        {57600, B57600}, {115200, B115200}, {230400, B230400}, {2400, B2400},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(pDevice->SetCommState(LineState(c.nBaud))) << c.nBaud;
        struct termios tio = PeerTermios();
        EXPECT_EQ(cfgetospeed(&tio), c.speed) << c.nBaud;
        EXPECT_EQ(cfgetispeed(&tio), c.speed) << c.nBaud;
    }
    delete pDevice;
}

TEST_F(PosixSerial, SetCommStateCarriesFlagsToTermios) {
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    struct Case {
        const char* szName;
        void (*pfnSet)(CommState*);
        bool bCflag;
        tcflag_t nFlag;
    } cases[] = {
        {"two stop bits", [](CommState* p) { p->StopBits = 2; }, true, CSTOPB},
        {"CTS flow", [](CommState* p) { p->fOutxCtsFlow = 1; }, true, CRTSCTS},
        {"parity check", [](CommState* p) { p->fParity = 1; }, false, INPCK},
        {"XON/XOFF out", [](CommState* p) { p->fOutX = 1; }, false, IXON},
        {"XON/XOFF in", [](CommState* p) { p->fInX = 1; }, false, IXOFF},
    };
    for (const Case& c : cases) {
        CommState off = LineState(9600);
        off.fParity = 0;
        ASSERT_TRUE(pDevice->SetCommState(off)) << c.szName;
        struct termios before = PeerTermios();
        EXPECT_EQ((c.bCflag ? before.c_cflag : before.c_iflag) & c.nFlag, 0u) << c.szName;
        CommState on = off;
        c.pfnSet(&on);
        ASSERT_TRUE(pDevice->SetCommState(on)) << c.szName;
        struct termios after = PeerTermios();
        EXPECT_NE((c.bCflag ? after.c_cflag : after.c_iflag) & c.nFlag, 0u) << c.szName;
    }
    delete pDevice;
}

TEST_F(PosixSerial, SetCommStateRefusesWhatTermiosCannotDo) {
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    CommState good = LineState(19200);
    ASSERT_TRUE(pDevice->SetCommState(good));
    struct Case {
        const char* szName;
        void (*pfnSet)(CommState*);
    } cases[] = {
        {"14400 baud", [](CommState* p) { p->BaudRate = 14400; }},
        {"128000 baud", [](CommState* p) { p->BaudRate = 128000; }},
        {"0 baud", [](CommState* p) { p->BaudRate = 0; }},
        {"4 data bits", [](CommState* p) { p->ByteSize = 4; }},
        {"9 data bits", [](CommState* p) { p->ByteSize = 9; }},
        {"mark parity", [](CommState* p) { p->Parity = 3; }},
        {"space parity", [](CommState* p) { p->Parity = 4; }},
        {"1.5 stop bits", [](CommState* p) { p->StopBits = 1; }},
        {"DSR flow", [](CommState* p) { p->fOutxDsrFlow = 1; }},
        {"DTR handshake", [](CommState* p) { p->fDtrControl = 2; }},
    };
    for (const Case& c : cases) {
        CommState bad = LineState(9600);
        c.pfnSet(&bad);
        EXPECT_FALSE(pDevice->SetCommState(bad)) << c.szName;
        struct termios tio = PeerTermios();
        EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200)) << c.szName;
        CommState now;
        ASSERT_TRUE(pDevice->GetCommState(&now));
        EXPECT_EQ(now.BaudRate, 19200u) << c.szName;
    }
    delete pDevice;
}

TEST_F(PosixSerial, GetCommStateBeforeAnySetReadsTheDevice) {
    struct termios tio = PeerTermios();
    cfsetispeed(&tio, B4800);
    cfsetospeed(&tio, B4800);
    ASSERT_EQ(tcsetattr(fdMaster, TCSANOW, &tio), 0);
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    CommState state;
    memset(&state, 0xAB, sizeof(state));
    ASSERT_TRUE(pDevice->GetCommState(&state));
    EXPECT_EQ(state.DCBlength, 28u);
    EXPECT_EQ(state.BaudRate, 4800u);
    EXPECT_EQ(state.ByteSize, 8);
    EXPECT_EQ(state.Parity, kNoParity);
    EXPECT_EQ(state.StopBits, kOneStopBit);
    EXPECT_EQ(state.fBinary, 1);
    EXPECT_EQ(state.fOutX, 0);
    EXPECT_EQ(state.fInX, 0);
    EXPECT_EQ(state.fDummy2, 0u);
    delete pDevice;
}

TEST_F(PosixSerial, GetCommStateReturnsEveryFieldAsSet) {
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    CommState set = LineState(57600);
    set.ByteSize = 7;  // a pty forces 8 bits on the line; the state keeps what was set
    set.Parity = kEvenParity;
    set.fTXContinueOnXoff = 1;
    set.fErrorChar = 1;
    set.fNull = 1;
    set.fAbortOnError = 1;
    set.fDummy2 = 0x1ABCD;
    set.wReserved = 7;
    set.XonLim = 2048;
    set.XoffLim = 512;
    set.ErrorChar = '?';
    set.EofChar = 0x1A;
    set.EvtChar = 0x7E;
    set.wReserved1 = 0x55AA;
    ASSERT_TRUE(pDevice->SetCommState(set));
    CommState got;
    memset(&got, 0, sizeof(got));
    ASSERT_TRUE(pDevice->GetCommState(&got));
    EXPECT_EQ(got.DCBlength, set.DCBlength);
    EXPECT_EQ(got.BaudRate, set.BaudRate);
    EXPECT_EQ(got.fBinary, set.fBinary);
    EXPECT_EQ(got.fParity, set.fParity);
    EXPECT_EQ(got.fOutxCtsFlow, set.fOutxCtsFlow);
    EXPECT_EQ(got.fOutxDsrFlow, set.fOutxDsrFlow);
    EXPECT_EQ(got.fDtrControl, set.fDtrControl);
    EXPECT_EQ(got.fDsrSensitivity, set.fDsrSensitivity);
    EXPECT_EQ(got.fTXContinueOnXoff, set.fTXContinueOnXoff);
    EXPECT_EQ(got.fOutX, set.fOutX);
    EXPECT_EQ(got.fInX, set.fInX);
    EXPECT_EQ(got.fErrorChar, set.fErrorChar);
    EXPECT_EQ(got.fNull, set.fNull);
    EXPECT_EQ(got.fRtsControl, set.fRtsControl);
    EXPECT_EQ(got.fAbortOnError, set.fAbortOnError);
    EXPECT_EQ(got.fDummy2, set.fDummy2);
    EXPECT_EQ(got.wReserved, set.wReserved);
    EXPECT_EQ(got.XonLim, set.XonLim);
    EXPECT_EQ(got.XoffLim, set.XoffLim);
    EXPECT_EQ(got.ByteSize, set.ByteSize);
    EXPECT_EQ(got.Parity, set.Parity);
    EXPECT_EQ(got.StopBits, set.StopBits);
    EXPECT_EQ(got.XonChar, set.XonChar);
    EXPECT_EQ(got.XoffChar, set.XoffChar);
    EXPECT_EQ(got.ErrorChar, set.ErrorChar);
    EXPECT_EQ(got.EofChar, set.EofChar);
    EXPECT_EQ(got.EvtChar, set.EvtChar);
    EXPECT_EQ(got.wReserved1, set.wReserved1);
    delete pDevice;
}

TEST_F(PosixSerial, PollCountsQueuedBytesAndReadsTakeOnlyThose) {
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    uint32_t dwErrors = 99;
    uint32_t cbInQue = 99;
    ASSERT_TRUE(pDevice->ClearCommError(&dwErrors, &cbInQue));
    EXPECT_EQ(dwErrors, 0u);
    EXPECT_EQ(cbInQue, 0u);

    SendFromArm("1.2.3\r\n");
    EXPECT_EQ(WaitQueued(pDevice, 7), 7u);
    ASSERT_TRUE(pDevice->ClearCommError(&dwErrors, &cbInQue));
    EXPECT_EQ(dwErrors, 0u);  // a pty counts no line errors

    // Asking for more than is queued returns at once with what is there.
    char buffer[64];
    memset(buffer, 'X', sizeof(buffer));
    uint32_t nRead = 0;
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(pDevice->ReadFile(buffer, sizeof(buffer), &nRead));
    EXPECT_LT(ElapsedMs(start), 50);
    EXPECT_EQ(nRead, 7u);
    EXPECT_EQ(std::string(buffer, 8), std::string("1.2.3\r\nX"));
    ASSERT_TRUE(pDevice->ClearCommError(&dwErrors, &cbInQue));
    EXPECT_EQ(cbInQue, 0u);

    // An empty queue: a read of 64 returns 0 bytes at once.
    start = std::chrono::steady_clock::now();
    nRead = 99;
    ASSERT_TRUE(pDevice->ReadFile(buffer, sizeof(buffer), &nRead));
    EXPECT_EQ(nRead, 0u);
    EXPECT_LT(ElapsedMs(start), 50);
    delete pDevice;
}

TEST_F(PosixSerial, PurgeEmptiesTheInputQueue) {
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    SendFromArm("stale");
    ASSERT_EQ(WaitQueued(pDevice, 5), 5u);
    EXPECT_TRUE(pDevice->PurgeComm(kPurgeAll));
    uint32_t dwErrors = 0;
    uint32_t cbInQue = 99;
    ASSERT_TRUE(pDevice->ClearCommError(&dwErrors, &cbInQue));
    EXPECT_EQ(cbInQue, 0u);
    delete pDevice;
}

TEST_F(PosixSerial, WaitForInputEndsWhenAByteArrives) {
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

    // With that byte still queued the wait does not return at once (no spinning caller)...
    start = std::chrono::steady_clock::now();
    pDevice->WaitForInput(30);
    EXPECT_GE(ElapsedMs(start), 25);
    // ...but a further byte still ends it early.
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
    uint32_t nWritten = 0;
    EXPECT_TRUE(pDevice->WriteFile(data.data(), static_cast<uint32_t>(data.size()), &nWritten));
    arm.join();
    EXPECT_EQ(nWritten, data.size());
    EXPECT_EQ(got, data);
    delete pDevice;
}

TEST_F(PosixSerial, HungUpPeerFailsThePoll) {
    SerialDevice* pDevice = OpenRecorded(3);
    ASSERT_NE(pDevice, nullptr);
    uint32_t dwErrors = 0;
    uint32_t cbInQue = 0;
    ASSERT_TRUE(pDevice->ClearCommError(&dwErrors, &cbInQue));
    CloseMaster();
    EXPECT_FALSE(pDevice->ClearCommError(&dwErrors, &cbInQue));
    char buffer[8];
    uint32_t nRead = 0;
    EXPECT_FALSE(pDevice->ReadFile(buffer, sizeof(buffer), &nRead));
    EXPECT_EQ(nRead, 0u);
    // The wait does not sit out its time on a dead line.
    auto start = std::chrono::steady_clock::now();
    pDevice->WaitForInput(2000);
    EXPECT_LT(ElapsedMs(start), 1000);
    delete pDevice;
}

}  // namespace
