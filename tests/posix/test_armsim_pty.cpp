// Smoke tests of the armsim program over a real pty: its rate check, command splitting, record
// file, link and hang-up. Each runs well under a second of real time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#ifndef ARMSIM_PATH
#error "ARMSIM_PATH names the armsim binary (set by cmake/posix.cmake)"
#endif

namespace {

int64_t NowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

struct Armsim {
    pid_t pid = -1;
    int fdOut = -1;
    std::string slavePath;
    std::string errPath;  // where its standard error goes, when set
};

// Starts armsim with its arguments and reads the first line of its output: the pty's path.
bool Start(Armsim* pSim, const char* const* ppArgs) {
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        if (!pSim->errPath.empty()) {
            int fdErr = open(pSim->errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fdErr, 2);
        }
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        char* argv[16];
        int n = 0;
        argv[n++] = const_cast<char*>(ARMSIM_PATH);
        for (; ppArgs[n - 1] != nullptr && n < 15; ++n) {
            argv[n] = const_cast<char*>(ppArgs[n - 1]);
        }
        argv[n] = nullptr;
        execv(ARMSIM_PATH, argv);
        _exit(127);
    }
    close(fds[1]);
    pSim->pid = pid;
    pSim->fdOut = fds[0];
    int64_t nEnd = NowMs() + 2000;
    while (NowMs() < nEnd) {
        pollfd p = {pSim->fdOut, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) {
            continue;
        }
        char c = 0;
        if (read(pSim->fdOut, &c, 1) != 1) {
            return false;
        }
        if (c == '\n') {
            return true;
        }
        pSim->slavePath.push_back(c);
    }
    return false;
}

// Waits for armsim to end on its own (up to nMs); its exit code, or -1.
int WaitExit(Armsim* pSim, int nMs) {
    int64_t nEnd = NowMs() + nMs;
    while (NowMs() < nEnd) {
        int nStatus = 0;
        pid_t r = waitpid(pSim->pid, &nStatus, WNOHANG);
        if (r == pSim->pid) {
            pSim->pid = -1;
            return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        }
        usleep(5000);
    }
    return -1;
}

void Stop(Armsim* pSim) {
    if (pSim->pid > 0) {
        kill(pSim->pid, SIGKILL);
        waitpid(pSim->pid, nullptr, 0);
        pSim->pid = -1;
    }
    if (pSim->fdOut >= 0) {
        close(pSim->fdOut);
        pSim->fdOut = -1;
    }
}

int OpenHost(const std::string& path, speed_t nSpeed) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    termios tio;
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, nSpeed);
    cfsetospeed(&tio, nSpeed);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

void SetSpeed(int fd, speed_t nSpeed) {
    termios tio;
    tcgetattr(fd, &tio);
    cfsetispeed(&tio, nSpeed);
    cfsetospeed(&tio, nSpeed);
    tcsetattr(fd, TCSANOW, &tio);
}

// Reads until nLines line feeds have come or nMs have passed.
std::string ReadLines(int fd, int nLines, int nMs) {
    std::string text;
    int64_t nEnd = NowMs() + nMs;
    int nSeen = 0;
    while (nSeen < nLines && NowMs() < nEnd) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0) {
            continue;
        }
        char buffer[256];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            nSeen += buffer[i] == '\n';
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

std::string FileText(const std::string& path) {
    std::string text;
    FILE* pFile = fopen(path.c_str(), "rb");
    if (pFile == nullptr) {
        return text;
    }
    char buffer[512];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pFile)) > 0) {
        text.append(buffer, n);
    }
    fclose(pFile);
    return text;
}

std::string TempPath(const char* szName) {
    return std::string("/tmp/armsim_pty_") + std::to_string(getpid()) + "_" + szName;
}

}  // namespace

TEST(ArmModelPty, AnswersAtItsRateAndRecordsEveryCommand) {
    std::string scenario = TempPath("scenario");
    std::string record = TempPath("record");
    std::string link = TempPath("link");
    FILE* pFile = fopen(scenario.c_str(), "w");
    ASSERT_NE(pFile, nullptr);
    fputs("baud 19200\nerror 104 2 0 1A 0 0 0\nlatency_ms 1\n", pFile);
    fclose(pFile);
    remove(record.c_str());

    const char* args[] = {"--scenario", scenario.c_str(), "--record", record.c_str(),
                          "--link",     link.c_str(),     nullptr};
    Armsim sim;
    ASSERT_TRUE(Start(&sim, args));
    char szTarget[256] = {0};
    ASSERT_GT(readlink(link.c_str(), szTarget, sizeof szTarget - 1), 0);
    EXPECT_EQ(sim.slavePath, szTarget);

    int fd = OpenHost(link, B9600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "_I", 2), 2);
    EXPECT_EQ(ReadLines(fd, 1, 150), "");  // wrong rate: the arm keeps silent
    SetSpeed(fd, B19200);
    ASSERT_EQ(write(fd, "_I", 2), 2);
    EXPECT_EQ(ReadLines(fd, 1, 500), "19200 n 8 1\r\n");
    // Two commands in one write are split, the longer name first.
    ASSERT_EQ(write(fd, "_Y1_G STATS", 11), 11);
    EXPECT_EQ(ReadLines(fd, 2, 500), "104 2 0 1A 0 0 0\r\n0 1F40 3 0 1 2 0 0 FA 0\r\n");
    close(fd);

    EXPECT_EQ(FileText(record), "9600 _I\n19200 _I\n19200 _Y1\n19200 _G STATS\n");
    kill(sim.pid, SIGTERM);
    EXPECT_EQ(WaitExit(&sim, 1000), 0);
    struct stat st;
    EXPECT_NE(lstat(link.c_str(), &st), 0);  // the link goes with it
    Stop(&sim);
    remove(scenario.c_str());
    remove(record.c_str());
}

TEST(ArmModelPty, HangsUpAfterItsLastCommand) {
    std::string scenario = TempPath("hangup");
    FILE* pFile = fopen(scenario.c_str(), "w");
    ASSERT_NE(pFile, nullptr);
    fputs("hangup_after 1\nlatency_ms 0\n", pFile);
    fclose(pFile);
    const char* args[] = {"--scenario", scenario.c_str(), nullptr};
    Armsim sim;
    ASSERT_TRUE(Start(&sim, args));
    int fd = OpenHost(sim.slavePath, B9600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "_I", 2), 2);
    EXPECT_EQ(ReadLines(fd, 1, 500), "9600 n 8 1\r\n");
    EXPECT_EQ(WaitExit(&sim, 1000), 0);
    // The host's side of the line has been hung up.
    char c = 0;
    ssize_t n = read(fd, &c, 1);
    EXPECT_LE(n, 0);
    if (n < 0) {
        EXPECT_NE(errno, EAGAIN);
    }
    close(fd);
    Stop(&sim);
    remove(scenario.c_str());
}

TEST(ArmModelPty, BadScenarioLineIsReported) {
    std::string scenario = TempPath("bad");
    FILE* pFile = fopen(scenario.c_str(), "w");
    ASSERT_NE(pFile, nullptr);
    fputs("baud 9600\nframing 9n1\n", pFile);
    fclose(pFile);
    const char* args[] = {"--scenario", scenario.c_str(), nullptr};
    Armsim sim;
    EXPECT_FALSE(Start(&sim, args));  // no path line: it stops before opening a pty
    EXPECT_TRUE(sim.slavePath.empty());
    EXPECT_EQ(WaitExit(&sim, 1000), 2);
    Stop(&sim);
    remove(scenario.c_str());
}

TEST(ArmModelPty, BadOptionsAreNamedAndExitTwo) {
    struct Row {
        const char* args[4];
        const char* szMessage;
    };
    const Row kRows[] = {
        {{"--bogus", nullptr}, "armsim: unknown option --bogus\n"},
        {{"--bogus", "value", nullptr}, "armsim: unknown option --bogus\n"},
        {{"-x", nullptr}, "armsim: unknown option -x\n"},
        {{"--baud", nullptr}, "armsim: --baud needs a value\n"},
        {{"--baud", "0", nullptr}, "armsim: --baud takes a rate from 1 to 4000000\n"},
        {{"--baud", "96O0", nullptr}, "armsim: --baud takes a rate from 1 to 4000000\n"},
        {{"stray", nullptr}, "armsim: unexpected argument stray\n"},
    };
    std::string err = TempPath("options.err");
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.szMessage);
        Armsim sim;
        sim.errPath = err;
        EXPECT_FALSE(Start(&sim, row.args));  // no path line: it stops before opening a pty
        EXPECT_EQ(WaitExit(&sim, 1000), 2);
        Stop(&sim);
        // The message first, then the usage.
        std::string text = FileText(err);
        EXPECT_EQ(text.compare(0, strlen(row.szMessage), row.szMessage), 0) << text;
        EXPECT_NE(text.find("usage: armsim"), std::string::npos);
    }
    remove(err.c_str());
}
