// armsim: a simulated arm on a pseudo-terminal, answering the host's commands from a scenario.
#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "platform/posix/self_pipe.h"
#include "tools/armsim/arm_model.h"
#include "tools/armsim/scenario.h"

namespace {

// A command has no terminator on the line: it has ended when the line has been quiet this long.
constexpr int64_t kQuietNs = 3000000;
// How long a hang-up waits for the host to take the last reply before the line is dropped, and
// how long it lets the pty move the reply to the host's side first (the kernel hands bytes
// written on the master to the host's queue a moment later, and a hang-up drops that queue).
constexpr int64_t kHangupDrainNs = 1000000000;
constexpr int64_t kHangupSettleNs = 20000000;

// The known commands, longest first, so that "_G STATS" is not read as "_G" and " STATS".
const char* const kCommands[] = {"_G STATS", "_Y1", "_G", "_I", "_P"};

int64_t NowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

struct SpeedEntry {
    speed_t nCode;
    uint32_t nBaud;
};

const SpeedEntry kSpeeds[] = {
    {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},     {B150, 150},
    {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},   {B1800, 1800},
    {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200}, {B38400, 38400},
    {B57600, 57600},   {B115200, 115200}, {B230400, 230400},
#ifdef B460800
    {B460800, 460800},
#endif
#ifdef B921600
    {B921600, 921600},
#endif
};

uint32_t BaudOfSpeed(speed_t nCode) {
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.nCode == nCode) {
            return entry.nBaud;
        }
    }
    return 0;
}

bool SpeedOfBaud(uint32_t nBaud, speed_t* pCode) {
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.nBaud == nBaud) {
            *pCode = entry.nCode;
            return true;
        }
    }
    return false;
}

// Bytes of a command or of unknown input as the record file shows them: printable ASCII as
// it stands, everything else as \xHH.
std::string Printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char szHex[8];
            snprintf(szHex, sizeof szHex, "\\x%02X", c);
            out += szHex;
        }
    }
    return out;
}

struct Options {
    const char* szScenario = nullptr;
    const char* szLink = nullptr;
    const char* szRecord = nullptr;
    uint32_t nBaud = 0;  // 0: as the scenario says
    bool bPace = false;  // reply bytes go out one character time apart, as on a real line
};

void Usage(FILE* pOut) {
    fprintf(pOut,
            "usage: armsim [--scenario FILE] [--link PATH] [--record FILE] [--baud N] [--pace]\n"
            "  Opens a pseudo-terminal, prints its path as the first line, and answers the\n"
            "  arm's commands on it until SIGTERM or SIGINT (or the scenario's hang-up).\n");
}

// Reads the options; false after a message on standard error. --help ends the program.
bool ParseOptions(int argc, char** argv, Options* pOptions) {
    static const struct option kOptions[] = {
        {"scenario", required_argument, nullptr, 's'},
        {"link", required_argument, nullptr, 'l'},
        {"record", required_argument, nullptr, 'r'},
        {"baud", required_argument, nullptr, 'b'},
        {"pace", no_argument, nullptr, 'p'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    // The messages are our own: ':' first reports a missing value apart from an unknown option.
    opterr = 0;
    int nOption;
    while ((nOption = getopt_long(argc, argv, ":h", kOptions, nullptr)) != -1) {
        switch (nOption) {
            case 's':
                pOptions->szScenario = optarg;
                break;
            case 'l':
                pOptions->szLink = optarg;
                break;
            case 'r':
                pOptions->szRecord = optarg;
                break;
            case 'b': {
                char* pEnd = nullptr;
                unsigned long nBaud = strtoul(optarg, &pEnd, 10);
                if (pEnd == optarg || *pEnd != '\0' || nBaud == 0 || nBaud > 4000000) {
                    fprintf(stderr, "armsim: --baud takes a rate from 1 to 4000000\n");
                    return false;
                }
                pOptions->nBaud = static_cast<uint32_t>(nBaud);
                break;
            }
            case 'p':
                pOptions->bPace = true;
                break;
            case 'h':
                Usage(stdout);
                exit(0);
            case ':':
                fprintf(stderr, "armsim: %s needs a value\n", argv[optind - 1]);
                return false;
            default:
                if (optopt != 0) {
                    fprintf(stderr, "armsim: unknown option -%c\n", optopt);
                } else {
                    fprintf(stderr, "armsim: unknown option %s\n", argv[optind - 1]);
                }
                return false;
        }
    }
    if (optind < argc) {
        fprintf(stderr, "armsim: unexpected argument %s\n", argv[optind]);
        return false;
    }
    return true;
}

// The simulator's whole state: the pty, the arm, the bytes of the command being received and
// the reply bytes waiting for their time.
struct Sim {
    int fdMaster = -1;
    int fdSlave = -1;  // held open so the master never sees the line close between hosts
    int fdRecord = -1;
    std::string slavePath;
    std::string linkPath;
    ArmModel* pArm = nullptr;
    bool bPace = false;
    std::string received;     // bytes since the last dispatch
    int64_t nLastByteNs = 0;  // when the last byte came
    struct Out {
        int64_t nDueNs;
        char c;
    };
    std::deque<Out> output;   // reply bytes, each with the time it may go out
    int64_t nLineFreeNs = 0;  // when the last queued reply byte goes out
    bool bHangup = false;     // the arm has hung up: drop the line once the reply is taken
    int64_t nHangupAtNs = 0;
    int64_t nLastWriteNs = 0;  // when reply bytes last went to the master
};

void Record(Sim* pSim, uint32_t nBaud, const std::string& text) {
    if (pSim->fdRecord < 0) {
        return;
    }
    std::string line = std::to_string(nBaud) + " " + text + "\n";
    // One write per line on an O_APPEND file: each line reaches the file whole, at once.
    ssize_t n = write(pSim->fdRecord, line.data(), line.size());
    (void)n;
}

uint32_t HostBaud(Sim* pSim) {
    // On a pty the master reads back the termios that the host set on its side.
    termios tio;
    if (tcgetattr(pSim->fdMaster, &tio) != 0) {
        return 0;
    }
    return BaudOfSpeed(cfgetospeed(&tio));
}

void Answer(Sim* pSim, const std::string& command, uint32_t nHostBaud) {
    Record(pSim, nHostBaud, Printable(command));
    const ArmScenario& scenario = pSim->pArm->scenario;
    // A pty always carries 8 data bits without parity; only the rate can differ, so the host is
    // taken to use the arm's own framing.
    bool bNoise = false;
    std::string reply =
        pSim->pArm->Receive(command, nHostBaud, scenario.nDataBits, scenario.cParity, &bNoise);
    int64_t nNow = NowNs();
    int64_t nDue = nNow + static_cast<int64_t>(scenario.nLatencyMs) * 1000000;
    if (nDue < pSim->nLineFreeNs) {
        nDue = pSim->nLineFreeNs;
    }
    int64_t nGap = static_cast<int64_t>(pSim->pArm->ByteGapFor(command)) * 1000000;
    // A pty moves bytes at once; paced, each byte is due when its ten bits (start, eight, stop)
    // would have passed at the rate in use.
    uint32_t nLineBaud = nHostBaud != 0 ? nHostBaud : scenario.nBaud;
    int64_t nCharNs = pSim->bPace ? 10000000000 / static_cast<int64_t>(nLineBaud) : 0;
    for (size_t i = 0; i < reply.size(); ++i) {
        nDue += nCharNs + (i != 0 ? nGap : 0);
        pSim->output.push_back(Sim::Out{nDue, reply[i]});
    }
    pSim->nLineFreeNs = nDue;
    if (pSim->pArm->HungUp() && !pSim->bHangup) {
        pSim->bHangup = true;
        pSim->nHangupAtNs = 0;
    }
}

// Splits what the line brought into commands, greedily; bytes that begin no command are
// recorded as one unknown run and dropped.
void Dispatch(Sim* pSim) {
    uint32_t nHostBaud = HostBaud(pSim);
    const std::string& bytes = pSim->received;
    std::string unknown;
    size_t i = 0;
    while (i < bytes.size()) {
        const char* szFound = nullptr;
        for (const char* szCommand : kCommands) {
            size_t nLength = strlen(szCommand);
            if (bytes.compare(i, nLength, szCommand) == 0) {
                szFound = szCommand;
                break;
            }
        }
        if (szFound == nullptr) {
            unknown.push_back(bytes[i]);
            ++i;
            continue;
        }
        if (!unknown.empty()) {
            Record(pSim, nHostBaud, "?" + Printable(unknown));
            unknown.clear();
        }
        if (!pSim->bHangup) {
            Answer(pSim, szFound, nHostBaud);
        }
        i += strlen(szFound);
    }
    if (!unknown.empty()) {
        Record(pSim, nHostBaud, "?" + Printable(unknown));
    }
    pSim->received.clear();
}

// Writes the reply bytes whose time has come; false when the master refuses them for good.
bool Flush(Sim* pSim) {
    int64_t nNow = NowNs();
    std::string chunk;
    while (!pSim->output.empty() && pSim->output.front().nDueNs <= nNow) {
        chunk.push_back(pSim->output.front().c);
        pSim->output.pop_front();
    }
    size_t nDone = 0;
    while (nDone < chunk.size()) {
        ssize_t n = write(pSim->fdMaster, chunk.data() + nDone, chunk.size() - nDone);
        if (n > 0) {
            nDone += static_cast<size_t>(n);
            pSim->nLastWriteNs = NowNs();
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The host is not reading: keep the rest for the next turn, due now.
            for (size_t k = chunk.size(); k > nDone; --k) {
                pSim->output.push_front(Sim::Out{nNow, chunk[k - 1]});
            }
            return true;
        }
        return false;
    }
    return true;
}

// Bytes the host has not yet read from its side of the line.
int HostUnread(Sim* pSim) {
    int nQueued = 0;
    if (ioctl(pSim->fdSlave, FIONREAD, &nQueued) != 0) {
        return 0;
    }
    return nQueued;
}

bool OpenPty(Sim* pSim, uint32_t nBaud) {
    if (openpty(&pSim->fdMaster, &pSim->fdSlave, nullptr, nullptr, nullptr) != 0) {
        fprintf(stderr, "armsim: cannot open a pseudo-terminal: %s\n", strerror(errno));
        return false;
    }
    char szName[128];
    if (ptsname_r(pSim->fdMaster, szName, sizeof szName) != 0) {
        fprintf(stderr, "armsim: cannot name the pseudo-terminal: %s\n", strerror(errno));
        return false;
    }
    pSim->slavePath = szName;
    // Raw until a host programs the line: no echo of the arm's replies back to the arm, no
    // line-end translation, at the arm's own rate.
    termios tio;
    if (tcgetattr(pSim->fdSlave, &tio) == 0) {
        cfmakeraw(&tio);
        speed_t nCode;
        if (SpeedOfBaud(nBaud, &nCode)) {
            cfsetispeed(&tio, nCode);
            cfsetospeed(&tio, nCode);
        }
        tcsetattr(pSim->fdSlave, TCSANOW, &tio);
    }
    for (int fd : {pSim->fdMaster, pSim->fdSlave}) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    return true;
}

bool MakeLink(Sim* pSim, const char* szLink) {
    struct stat st;
    if (lstat(szLink, &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            fprintf(stderr, "armsim: %s exists and is not a symbolic link\n", szLink);
            return false;
        }
        unlink(szLink);
    }
    if (symlink(pSim->slavePath.c_str(), szLink) != 0) {
        fprintf(stderr, "armsim: cannot link %s: %s\n", szLink, strerror(errno));
        return false;
    }
    pSim->linkPath = szLink;
    return true;
}

void RemoveLink(Sim* pSim) {
    if (pSim->linkPath.empty()) {
        return;
    }
    // Only the link this run made: a later run may have replaced it with its own.
    char szTarget[256];
    ssize_t n = readlink(pSim->linkPath.c_str(), szTarget, sizeof szTarget - 1);
    if (n >= 0) {
        szTarget[n] = '\0';
        if (pSim->slavePath == szTarget) {
            unlink(pSim->linkPath.c_str());
        }
    }
    pSim->linkPath.clear();
}

// The event loop: read the host's bytes, dispatch after the quiet time, send the replies at
// their times, and drop the line when the arm hangs up. Returns the exit code.
int Run(Sim* pSim, int fdSignals) {
    for (;;) {
        int64_t nNow = NowNs();
        int64_t nWakeNs = -1;
        auto wakeAt = [&](int64_t nAt) {
            if (nWakeNs < 0 || nAt < nWakeNs) {
                nWakeNs = nAt;
            }
        };
        if (!pSim->received.empty()) {
            wakeAt(pSim->nLastByteNs + kQuietNs);
        }
        if (!pSim->output.empty()) {
            wakeAt(pSim->output.front().nDueNs);
        }
        if (pSim->bHangup && pSim->output.empty()) {
            if (pSim->nHangupAtNs == 0) {
                pSim->nHangupAtNs = nNow + kHangupDrainNs;
            }
            bool bSettled = nNow - pSim->nLastWriteNs >= kHangupSettleNs;
            if ((bSettled && HostUnread(pSim) == 0) || nNow >= pSim->nHangupAtNs) {
                // The arm drops the line: the host's side sees the hang-up.
                close(pSim->fdMaster);
                pSim->fdMaster = -1;
                return 0;
            }
            wakeAt(nNow + 1000000);
        }
        int nTimeoutMs = -1;
        if (nWakeNs >= 0) {
            int64_t nLeft = nWakeNs - nNow;
            nTimeoutMs = nLeft <= 0 ? 0 : static_cast<int>((nLeft + 999999) / 1000000);
        }
        pollfd fds[2];
        fds[0].fd = pSim->fdMaster;
        fds[0].events = POLLIN;
        fds[0].revents = 0;
        fds[1].fd = fdSignals;
        fds[1].events = POLLIN;
        fds[1].revents = 0;
        int nReady = poll(fds, 2, nTimeoutMs);
        if (nReady < 0 && errno != EINTR) {
            fprintf(stderr, "armsim: poll: %s\n", strerror(errno));
            return 1;
        }
        if (nReady > 0 && (fds[1].revents & POLLIN) != 0) {
            bool bClose = false;
            bool bResize = false;
            DrainSignalPipe(fdSignals, &bClose, &bResize);
            if (bClose) {
                return 0;
            }
        }
        if (nReady > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char buffer[512];
            ssize_t n = read(pSim->fdMaster, buffer, sizeof buffer);
            if (n > 0) {
                pSim->received.append(buffer, static_cast<size_t>(n));
                pSim->nLastByteNs = NowNs();
            } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR &&
                       errno != EIO) {
                fprintf(stderr, "armsim: read: %s\n", strerror(errno));
                return 1;
            } else if (n <= 0 && (fds[0].revents & POLLIN) == 0) {
                // A bare hang-up report with nothing to read: wait a little instead of
                // turning round at once.
                usleep(1000);
            }
        }
        nNow = NowNs();
        if (!pSim->received.empty() && nNow - pSim->nLastByteNs >= kQuietNs) {
            Dispatch(pSim);
        }
        if (!Flush(pSim)) {
            fprintf(stderr, "armsim: write: %s\n", strerror(errno));
            return 1;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        Usage(stderr);
        return 2;
    }
    ArmScenario scenario;
    if (options.szScenario != nullptr) {
        char szError[512];
        if (!LoadScenarioFile(options.szScenario, &scenario, szError, sizeof szError)) {
            fprintf(stderr, "armsim: %s\n", szError);
            return 2;
        }
    }
    if (options.nBaud != 0) {
        scenario.nBaud = options.nBaud;
    }
    ArmModel arm(scenario);
    Sim sim;
    sim.pArm = &arm;
    sim.bPace = options.bPace;
    int fdSignals[2];
    if (!MakeSelfPipe(fdSignals)) {
        fprintf(stderr, "armsim: cannot make the signal pipe: %s\n", strerror(errno));
        return 1;
    }
    RouteSignalsToPipe(fdSignals[1]);

    if (options.szRecord != nullptr) {
        sim.fdRecord = open(options.szRecord, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (sim.fdRecord < 0) {
            fprintf(stderr, "armsim: cannot open %s: %s\n", options.szRecord, strerror(errno));
            return 1;
        }
    }
    if (!OpenPty(&sim, scenario.nBaud)) {
        return 1;
    }
    if (options.szLink != nullptr && !MakeLink(&sim, options.szLink)) {
        return 1;
    }
    printf("%s\n", sim.slavePath.c_str());
    fflush(stdout);

    int nCode = Run(&sim, fdSignals[0]);

    RemoveLink(&sim);
    if (sim.fdMaster >= 0) {
        close(sim.fdMaster);
    }
    close(sim.fdSlave);
    if (sim.fdRecord >= 0) {
        close(sim.fdRecord);
    }
    return nCode;
}
