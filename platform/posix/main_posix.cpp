// armlink, the POSIX program: start-up, the command line, and the exit status of the run.
#include <errno.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <getopt.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "common/app_state.h"
#include "platform/posix/frontend.h"
#include "platform/posix/log_location.h"
#include "platform/posix/network_port.h"
#include "platform/posix/port_check.h"
#include "platform/posix/port_listing.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/self_pipe.h"
#include "platform/posix/terminal_host.h"
#include "shell/controller.h"
#include "shell/extended_display.h"
#include "shell/startup.h"

namespace {

// Exit statuses that do not come from a run's outcome (RunExitStatus holds the whole table).
constexpr int kExitDone = 0;          // the work of the run mode was done
constexpr int kExitNotDone = 1;       // no arm found, or closed before the work was done
constexpr int kExitUsage = 2;         // bad usage, or a run mode this version does not have
constexpr int kExitReportFailed = 4;  // the report could not be saved

void PrintHelp(FILE* pOut) {
    char szSettings[PATH_MAX];
    if (!GetSettingsFilePath(szSettings, sizeof szSettings)) {
        snprintf(szSettings, sizeof szSettings, "%s",
                 "none (neither XDG_CONFIG_HOME nor HOME is set)");
    }
    fprintf(pOut,
            "Usage: armlink [OPTIONS] [SWITCH]\n"
            "       armlink --ports | --version | --help\n"
            "       armlink [--plain] [--polls N] /stats\n"
            "       armlink [--plain] [--checks N] [--save FILE] /extended\n"
            "Finds the measuring arm on COM1 to COM4 and appends one entry (time stamp, the\n"
            "arm's identity, its pending error records and its counters) to the log file.\n"
            "\n"
            "Switches:\n"
            "  (none)      error-log retrieval: one entry appended to the log file\n"
            "  /stats      live statistics (exactly \"/stats\" or \"/STATS\"): the arm's\n"
            "              counters about every 3 s (two seconds after each poll's exchanges)\n"
            "              with their change since the baseline,\n"
            "              the point rate with its minimum and maximum; each time the arm\n"
            "              reports an error, an entry in the log file and \"_P\" to the arm.\n"
            "              Runs until closed.\n"
            "  /extended   extended error display (any text beginning with \"/extended\" or\n"
            "              \"/EXTENDED\"): shows the arm's identity; Check reads the pending\n"
            "              error records, decodes each into a readable report and adds the\n"
            "              counters; Save appends the whole report to a file of your choice\n"
            "  Any other text selects the error-log retrieval.\n"
            "\n"
            "Options:\n"
            "  --plain       print \"status: <text>\" lines (and the log path, the samples, or\n"
            "                the report) instead of drawing the dialog (also when standard\n"
            "                output is not a terminal); with /stats one line per poll that\n"
            "                showed a sample,\n"
            "                  sample: captures=<v> (<+d>) async=... crc=... stall=... retry=...\n"
            "                  bounces=... sda_scl=... address=... rate=<r> min=<r> max=<r>\n"
            "                (on one line, the texts of the dialog), and after each logging pass\n"
            "                  errors: error=<n> ext=<n> logged=<count>\n"
            "  --polls N     /stats: close as the Close button would after the Nth poll\n"
            "                (counted whether or not it showed a sample); without it the\n"
            "                statistics run until closed, or until SIGINT or SIGTERM\n"
            "  --checks N    /extended in plain line mode: once the arm is found, press Check\n"
            "                N times (0 to %d, default 1); each text added to the report is\n"
            "                printed as it is added, its CR LF and LF line ends unchanged\n"
            "  --save FILE   /extended in plain line mode: then save the report to FILE as Save\n"
            "                does (appended, LastFile updated) and print \"saved: FILE\"; FILE is\n"
            "                tried before the arm is asked: one that cannot be written, or is\n"
            "                not a plain file, gives \"INVALID FILE: FILE\" and the reason on\n"
            "                standard error. A signal ends the Checks after the exchange under\n"
            "                way and saves what was collected (exit status 1, \"Interrupted\")\n"
            "                --checks and --save select the plain line mode.\n"
            "  --port COMn=PATH  use the device PATH as COMn (n from 1 to 4) for this run,\n"
            "                above ARMLINK_COMn and the settings file; may be repeated. PATH\n"
            "                may be a network address instead (see Ports below)\n"
            "  --log PATH    append the log entries to PATH instead of the log file below\n"
            "  --verbose     plain line mode: one \"progress: <exchange>\" line per exchange\n"
            "                with the arm while an entry, a logging pass or a Check runs\n"
            "  --fast        fast replies for this run: each read ends as soon as its reply is\n"
            "                complete (every value of its command, ending in a line feed)\n"
            "                instead of waiting out its deadline, so a default run takes about\n"
            "                a second instead of 18; the statistics then poll every 2 s from\n"
            "                start to start. A reply that is not complete in time is read as\n"
            "                always. Leave it off for an arm whose firmware counts on the\n"
            "                full waits (FastReplies=1 in the settings file chooses it for\n"
            "                every run)\n"
            "  --ports       list COM1 to COM4: the device each stands for, where that comes\n"
            "                from, and whether it is there, a terminal, allowed to you, or busy;\n"
            "                opens nothing exclusively and changes no line setting. For an\n"
            "                address: its kind and whether the server accepts a connection now\n"
            "                (connected and closed at once, within 2 s, nothing sent)\n"
            "  --version     print the version\n"
            "  -h, --help    show this text\n"
            "  --            end of the options: what follows is the switch text\n"
            "\n"
            "In the dialog, Esc, Enter or q close it; r (or bringing the terminal back to the\n"
            "front) starts the search again after it gave up. In the extended error display\n"
            "Enter is Check instead: c or Enter Check, s Save (type the path, Enter saves, Esc\n"
            "cancels), Esc or q Close; the arrows, Page Up/Down, Home and End scroll the report.\n"
            "The statistics dialog plots the point rate of the recent polls below its table (an\n"
            "80 x 24 terminal is enough).\n"
            "\n"
            "Ports: COMn opens the device given by --port COMn=PATH, else the one in the\n"
            "environment variable ARMLINK_COMn (ARMLINK_COM1 to ARMLINK_COM4) when it is set,\n"
            "else the COMn entry of the [Ports] section of the settings file (for example\n"
            "COM2=/dev/ttyUSB0), else the n-th device of the default map: the USB serial\n"
            "adapters (/dev/serial/by-id, else /dev/ttyUSB* then /dev/ttyACM*), then the\n"
            "built-in ports with a UART behind them (/dev/ttyS*). The system console (as\n"
            "/sys/class/tty/console/active names it) and terminals a login runs on (the\n"
            "login records) are never in the default map; named explicitly, they are opened.\n"
            "Wherever a device path goes, an arm behind a network serial server may be named\n"
            "by its address: rfc2217://HOST:PORT (the search sets the server's line through\n"
            "RFC 2217 as it sets a local port's) or tcp://HOST:PORT (raw bytes: the server\n"
            "keeps the line settings it has, so set it to the arm's); HOST is a name, an IPv4\n"
            "address or an IPv6 address in brackets ([::1]). A server that does not connect\n"
            "within 3 s is a port that does not open; a connection that drops is an arm lost.\n"
            "The map in force:\n",
            kMaxPlainChecks);
    PrintPortListing(pOut, false, "  ");
    fprintf(pOut,
            "\n"
            "Settings file: %s\n"
            "  (the line settings in CommParam, for example CommParam=2 19200 n 8 1, and the\n"
            "  last path the report was saved to in LastFile; FastReplies=1 turns fast replies\n"
            "  on for every run)\n"
            "Log file: %s\n"
            "  (\"ErrorLog.zlg\" beside the program when that directory may be written and is\n"
            "  not under /usr, /bin, /sbin or /opt, else\n"
            "  ${XDG_STATE_HOME:-$HOME/.local/state}/armlink/ErrorLog.zlg; --log chooses one)\n"
            "\n"
            "Exit status:\n"
            "  0  the work was done, or the dialog was closed normally after it (for /stats:\n"
            "     the statistics were closed normally)\n"
            "  1  no arm was found, or the dialog was closed (or a signal came) before the\n"
            "     work was done: an entry or a Check series cut short shows \"Interrupted\";\n"
            "     standard output that could not be written (4 in /extended)\n"
            "  2  bad usage\n"
            "  3  the log file could not be written (for /stats: by any logging pass)\n"
            "  4  the report could not be saved\n"
            "  5  a request of the work brought no usable reply: the arm did not answer it,\n"
            "     its reply was cut short or not understood (in /extended: the arm answered\n"
            "     none of the last Check's requests; in /stats: the run ended while the arm\n"
            "     did not answer)\n"
            "  6  the arm's firmware is too old for the run mode (\">>VERSION NOT SUPPORTED<<\")\n",
            szSettings, g_App.szLogPath);
}

// The executable's full path: /proc/self/exe, else argv[0] when it names a path.
void FindExecutable(const char* szArgv0, char* szPath, size_t cchPath) {
    szPath[0] = '\0';
    ssize_t nLength = readlink("/proc/self/exe", szPath, cchPath - 1);
    if (nLength > 0 && static_cast<size_t>(nLength) < cchPath - 1) {
        szPath[nLength] = '\0';
        return;
    }
    szPath[0] = '\0';
    // A bare name found on the PATH says nothing about the directory: the log then lands in
    // the current directory, as with no path at all.
    if (szArgv0 != nullptr && strchr(szArgv0, '/') != nullptr) {
        char szResolved[PATH_MAX];
        const char* szUse = realpath(szArgv0, szResolved) != nullptr ? szResolved : szArgv0;
        if (strlen(szUse) < cchPath) {
            snprintf(szPath, cchPath, "%s", szUse);
        }
    }
}

// --port COMn=PATH: the COM number from 1 to 4, an equals sign, a path that is not empty.
bool TakePortOption(const char* szValue) {
    const char* szEquals = strchr(szValue, '=');
    unsigned nPort = 0;
    char cAfter = 0;
    if (szEquals == nullptr || szEquals[1] == '\0' ||
        sscanf(szValue, "COM%1u%c", &nPort, &cAfter) != 2 || cAfter != '=' || nPort < 1 ||
        nPort > 4) {
        fprintf(stderr, "armlink: --port takes COMn=PATH with n from 1 to 4, not \"%s\"\n",
                szValue);
        return false;
    }
    // A device named for this run that is not there, or is no terminal, or an address that
    // cannot be one, is a mistake in the command: said at once rather than after a search.
    // Whether a server answers is the search's to find out.
    char szState[192];
    NetworkAddress address;
    NetworkKind kind = ParseNetworkAddress(szEquals + 1, &address, szState, sizeof szState);
    if (kind == kNetworkBad) {
        fprintf(stderr, "armlink: --port %s: not a usable address: %s\n", szValue, szState);
        return false;
    }
    if (kind == kNotNetwork && !CheckPortDevice(szEquals + 1, szState, sizeof szState) &&
        strncmp(szState, "terminal device", 15) != 0) {
        fprintf(stderr, "armlink: --port %s: %s\n", szValue, szState);
        return false;
    }
    return SetPortOverride(nPort, szEquals + 1);
}

// The exit status of a run that ended with this outcome; failures are named on standard error.
int ExitStatusOf(RunOutcome outcome, const std::string& detail) {
    switch (outcome) {
        case kOutcomeLogNotWritten:
            fprintf(stderr, "armlink: the log entry was not written: %s\n", detail.c_str());
            break;
        case kOutcomeLogKept:
            fprintf(stderr, "armlink: the log entry could not be written to %s; it is kept in %s\n",
                    g_App.szLogPath, detail.c_str());
            break;
        case kOutcomeReportNotSaved:
            fprintf(stderr, "armlink: the report was not saved: %s\n", detail.c_str());
            break;
        case kOutcomeIncomplete:
            fprintf(stderr, "armlink: not everything was read from the arm: %s\n", detail.c_str());
            break;
        case kOutcomeContactLost:
            fprintf(stderr, "armlink: the arm has not answered since %s\n", detail.c_str());
            break;
        case kOutcomeVersionNotSupported:
            fprintf(stderr, "armlink: the arm's firmware is too old for this run mode\n");
            break;
        case kOutcomeInterrupted:
            if (detail.empty()) {
                fprintf(stderr,
                        "armlink: interrupted before every error record was read; the log holds "
                        "the entry as far as it went\n");
            } else {
                fprintf(stderr, "armlink: interrupted: %s\n", detail.c_str());
            }
            break;
        default:
            break;
    }
    return RunExitStatus(outcome);
}

// Standard output is the work's result in plain mode (the report, the samples, the lists): a
// write or close that failed is named, and a run that claimed success says it failed, with
// nFailed (4 when the report was the work, else 1).
int CheckStandardOutput(int nExit, int nFailed) {
    int nError = fflush(stdout) != 0 ? errno : 0;
    if (nError == 0 && ferror(stdout)) {
        nError = PlainOutputError() != 0 ? PlainOutputError() : EIO;
    }
    if (fclose(stdout) != 0 && nError == 0) {
        nError = errno;
    }
    if (nError == 0) {
        return nExit;
    }
    fprintf(stderr, "armlink: standard output: %s\n", strerror(nError));
    return nExit == kExitDone ? nFailed : nExit;
}

// What the command line asks for.
struct CommandLine {
    bool bPlain = false;
    bool bHelp = false;
    bool bPorts = false;
    bool bVersion = false;
    bool bExtendedOption = false;  // --checks or --save
    bool bLogGiven = false;        // --log: the log's place is the technician's
    int nChecks = 1;
    const char* szSavePath = nullptr;
    uint32_t nPolls = 0;  // 0: the statistics run until closed
};

// Our own options; the other arguments, joined with single blanks, are the command line as
// Windows would pass it to the program.
enum {
    kOptPlain = 1000,
    kOptChecks,
    kOptSave,
    kOptPolls,
    kOptPort,
    kOptPorts,
    kOptLog,
    kOptVerbose,
    kOptVersion,
    kOptFast,
};
const struct option kOptions[] = {
    {"plain", no_argument, nullptr, kOptPlain},
    {"checks", required_argument, nullptr, kOptChecks},
    {"save", required_argument, nullptr, kOptSave},
    {"polls", required_argument, nullptr, kOptPolls},
    {"port", required_argument, nullptr, kOptPort},
    {"ports", no_argument, nullptr, kOptPorts},
    {"log", required_argument, nullptr, kOptLog},
    {"verbose", no_argument, nullptr, kOptVerbose},
    {"version", no_argument, nullptr, kOptVersion},
    {"fast", no_argument, nullptr, kOptFast},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

// --checks N: a count from 0 to kMaxPlainChecks.
bool TakeChecks(const char* szValue, CommandLine* pLine) {
    char* pEnd = nullptr;
    errno = 0;
    long nValue = strtol(szValue, &pEnd, 10);
    if (errno != 0 || pEnd == szValue || *pEnd != '\0' || nValue < 0 || nValue > kMaxPlainChecks) {
        fprintf(stderr, "armlink: --checks takes a count from 0 to %d, not \"%s\"\n",
                kMaxPlainChecks, szValue);
        return false;
    }
    pLine->nChecks = static_cast<int>(nValue);
    pLine->bExtendedOption = true;
    return true;
}

// --polls N: a count from 1 to the largest 32-bit one.
bool TakePolls(const char* szValue, CommandLine* pLine) {
    char* pEnd = nullptr;
    errno = 0;
    unsigned long long nValue = strtoull(szValue, &pEnd, 10);
    if (szValue[0] < '1' || szValue[0] > '9' || *pEnd != '\0' || errno != 0 ||
        nValue > UINT32_MAX) {
        fprintf(stderr, "armlink: --polls takes a count of polls from 1 to %u\n",
                static_cast<unsigned>(UINT32_MAX));
        return false;
    }
    pLine->nPolls = static_cast<uint32_t>(nValue);
    return true;
}

// One option of the command line; false when it is bad usage (said on standard error).
bool TakeOption(int nOption, const char* szValue, const char* szGiven, CommandLine* pLine) {
    switch (nOption) {
        case kOptPlain:
            pLine->bPlain = true;
            return true;
        case kOptChecks:
            return TakeChecks(szValue, pLine);
        case kOptPolls:
            return TakePolls(szValue, pLine);
        case kOptSave:
            // The save path has the room of "LastFile": a longer one could not be saved.
            if (szValue[0] == '\0' || strlen(szValue) >= kPathSize) {
                fprintf(stderr, "armlink: --save takes a file path of 1 to %u characters\n",
                        kPathSize - 1);
                return false;
            }
            pLine->szSavePath = szValue;
            pLine->bExtendedOption = true;
            return true;
        case 'h':
            pLine->bHelp = true;
            return true;
        case kOptPort:
            return TakePortOption(szValue);
        case kOptPorts:
            pLine->bPorts = true;
            return true;
        case kOptLog:
            if (szValue[0] == '\0' || strlen(szValue) >= sizeof g_App.szLogPath) {
                fprintf(stderr, "armlink: --log takes a file path of 1 to %u characters\n",
                        static_cast<unsigned>(sizeof g_App.szLogPath - 1));
                return false;
            }
            snprintf(g_App.szLogPath, sizeof g_App.szLogPath, "%s", szValue);
            pLine->bLogGiven = true;
            return true;
        case kOptVerbose:
            SetPlainProgress(true);
            return true;
        case kOptVersion:
            pLine->bVersion = true;
            return true;
        case kOptFast:
            g_App.bFastReplies = 1;
            return true;
        case ':':
            fprintf(stderr, "armlink: option \"%s\" needs a value (armlink --help)\n", szGiven);
            return false;
        default:
            fprintf(stderr, "armlink: unknown option \"%s\" (armlink --help lists them)\n",
                    szGiven);
            return false;
    }
}

// Parses the command line and selects the run mode. Returns -1 when the dialog is to run,
// else the exit status of a run that ends here (help, version, the port list, bad usage).
int ParseCommandLine(int argc, char** argv, CommandLine* pLine) {
    opterr = 0;
    int nOption;
    while ((nOption = getopt_long(argc, argv, ":h", kOptions, nullptr)) != -1) {
        if (!TakeOption(nOption, optarg, argv[optind - 1], pLine)) {
            return kExitUsage;
        }
    }
    std::string cmdLine;
    for (int i = optind; i < argc; ++i) {
        if (i > optind) {
            cmdLine += ' ';
        }
        cmdLine += argv[i];
    }
    if (pLine->bHelp) {
        // The log's place as a run would choose it, found without making anything.
        if (!pLine->bLogGiven) {
            ChooseLogPath(g_App.szExeDir, g_App.szLogPath, sizeof g_App.szLogPath, false);
        }
        PrintHelp(stdout);
        return 0;
    }
    if (pLine->bVersion) {
        printf("armlink %s\n", ARMLINK_VERSION);
        return 0;
    }
    if (pLine->bPorts) {
        PrintPortListing(stdout, true, "");
        return 0;
    }
    g_App.nRunMode = SelectRunMode(optind < argc ? cmdLine.c_str() : nullptr);
    // "/Stats" selects the default run mode, as the switches are compared; a slip of the shift
    // key is named rather than taken silently.
    if (g_App.nRunMode == kRunModeLog && cmdLine[0] == '/') {
        fprintf(stderr, "armlink: \"%s\" is not a switch; running the error-log retrieval\n",
                cmdLine.c_str());
    }
    if (pLine->nPolls != 0 && g_App.nRunMode != kRunModeStats) {
        fprintf(stderr, "armlink: --polls applies to the live statistics (/stats) only\n");
        return kExitUsage;
    }
    if (pLine->bExtendedOption && g_App.nRunMode != kRunModeExtended) {
        fprintf(stderr, "armlink: --checks and --save belong to /extended (armlink --help)\n");
        return kExitUsage;
    }
    // Checks and a save given on the command line are an unattended run.
    pLine->bPlain = pLine->bPlain || pLine->bExtendedOption;
    // The report's file is tried before the arm is asked for anything: a Check reads the
    // records off the arm, and they must not be read for a file that cannot take them.
    char szWhy[160];
    if (pLine->szSavePath != nullptr && !CheckReportFile(pLine->szSavePath, szWhy, sizeof szWhy)) {
        fprintf(stderr, "INVALID FILE: %s\n", pLine->szSavePath);
        fprintf(stderr, "armlink: the report was not saved: cannot open %s: %s\n",
                pLine->szSavePath, szWhy);
        return kExitReportFailed;
    }
    // Only a run that writes the log looks for its place, and may make the state directory.
    if (!pLine->bLogGiven && g_App.nRunMode != kRunModeExtended) {
        ChooseLogPath(g_App.szExeDir, g_App.szLogPath, sizeof g_App.szLogPath, true);
    }
    return -1;
}

// The platform's seams, and the log's path beside the executable (its place is chosen once the
// command line says that a log is to be written).
void SetUpPlatform(const char* szArgv0) {
#if defined(M_ARENA_MAX)
    // The workers allocate little: one heap for every thread spares each new worker the making
    // of an arena of its own.
    (void)mallopt(M_ARENA_MAX, 1);
#endif
    ResetAppState();
    g_Platform.pClock = PosixClock();
    g_Platform.pThreads = PosixThreads();
    g_Platform.pBus = PosixSerialBus();
    g_Platform.pSettings = PosixSettings();
    g_Platform.pfnCutFile = PosixCutFile;
    g_Platform.pfnLogRoom = PosixLogRoom;
    g_Platform.pfnLockLog = PosixLockLog;
    g_Platform.pfnUnlockLog = PosixUnlockLog;
    g_Platform.pfnStateDir = PosixStateDir;
    g_Platform.pfnOpenReport = PosixOpenReport;

    char szExePath[kPathSize];
    FindExecutable(szArgv0, szExePath, sizeof szExePath);
    CutExeDir(szExePath, '/', g_App.szExeDir, sizeof g_App.szExeDir);
    FormatLogPath(g_App.szExeDir, g_App.szLogPath, sizeof g_App.szLogPath);
}

// Runs the run mode's dialog on the terminal, or in plain lines, until it ends; returns the
// exit status of its outcome.
int RunDialog(const CommandLine& line) {
    int fdSignal[2];
    int fdWake[2];
    if (!MakeSelfPipe(fdSignal) || !MakeSelfPipe(fdWake)) {
        fprintf(stderr, "armlink: cannot create a pipe: %s\n", strerror(errno));
        return kExitNotDone;
    }
    RouteSignalsToPipe(fdSignal[1]);

    bool bTerminal = !line.bPlain && isatty(fileno(stdout));
    FrontEnd* pPlain = nullptr;
    FrontEnd* pFront = nullptr;
    switch (g_App.nRunMode) {
        case kRunModeExtended:
            pPlain = CreateExtendedPlainFrontEnd(stdout, line.nChecks, line.szSavePath);
            pFront = bTerminal ? CreateExtendedCursesFace() : pPlain;
            break;
        case kRunModeStats:
            pPlain = CreateStatsPlainFrontEnd(stdout, line.nPolls);
            pFront = bTerminal ? CreateStatsCursesFace(line.nPolls) : pPlain;
            break;
        default:
            pPlain = CreatePlainFrontEnd(stdout);
            pFront = bTerminal ? CreateLogCursesFace() : pPlain;
            break;
    }
    // The host outlives main's return: a worker that did not end within the shutdown wait may
    // still write through its surface, which then answers at once.
    TerminalHost* pHost = new TerminalHost(pFront, pPlain, fdSignal[0], fdWake[0], fdWake[1]);
    if (g_App.nRunMode == kRunModeExtended) {
        // The dialog starts as on Windows; Check and Save run on this thread, inside its loop.
        pHost->SetDialogProcs(ExtendedInitDialog, ExtendedCommand);
    }
    ControllerCreate(pHost);
    // A stop request ends the dialog before the log worker says how its entry ended: an entry
    // the stop cut short is named once the worker has ended.
    if (pHost->Front()->Model().outcome == kOutcomeNone &&
        g_App.nLastOutcome.load() == kOutcomeInterrupted && pHost->Front() == pPlain) {
        pPlain->SetItemText(kIdStatusText, "Interrupted");
        pPlain->ReportOutcome(kOutcomeInterrupted, "");
    }
    RunOutcome outcome = pHost->Front()->Model().outcome;
    if (outcome == kOutcomeNone && g_App.nLastOutcome.load() == kOutcomeInterrupted) {
        outcome = kOutcomeInterrupted;
    }
    return ExitStatusOf(outcome, pHost->Front()->Model().detail);
}

}  // namespace

int main(int argc, char** argv) {
    SetUpPlatform(argc > 0 ? argv[0] : nullptr);
    CommandLine line;
    int nExit = ParseCommandLine(argc, argv, &line);
    if (nExit >= 0) {
        return nExit == kExitUsage ? nExit : CheckStandardOutput(nExit, kExitNotDone);
    }
    nExit = RunDialog(line);
    nExit = CheckStandardOutput(
        nExit, g_App.nRunMode == kRunModeExtended ? kExitReportFailed : kExitNotDone);
    fflush(stderr);
    // The events are left open only when a worker did not end in time; it must not run on
    // into the process's own teardown.
    if (g_App.WorkerExitedEvent != nullptr) {
        _exit(nExit);
    }
    return nExit;
}
