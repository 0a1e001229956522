// The shared ncurses screen of the dialog faces: open, close, focus reports, clipped drawing.
#include "platform/posix/curses_screen.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "common/app_state.h"
#include "protocol/hex_word.h"

namespace {

// Focus events are reported while xterm mode 1004 is on.
const char kFocusEventsOn[] = "\033[?1004h";
const char kFocusEventsOff[] = "\033[?1004l";
// How long a lone Esc waits for the rest of a key sequence.
constexpr int kEscDelayMs = 50;

bool g_bScreenActive = false;
FILE* g_pTerminalOut = nullptr;  // a test's files instead of the terminal
FILE* g_pTerminalIn = nullptr;
int g_fdTerminalOut = -1;

void WriteAll(int fd, const char* szText) {
    size_t nLeft = strlen(szText);
    while (nLeft > 0) {
        ssize_t n = write(fd, szText, nLeft);
        if (n <= 0) {
            return;
        }
        szText += n;
        nLeft -= static_cast<size_t>(n);
    }
}

// The terminal is given back on every way out of the process, also an exit() from elsewhere.
void RestoreTerminalAtExit() {
    if (g_bScreenActive) {
        WriteAll(g_fdTerminalOut, kFocusEventsOff);
        endwin();
        g_bScreenActive = false;
    }
}

void ReleaseInput(CursesScreen* pScreen) {
    if (pScreen->bOwnInput && pScreen->pInput != nullptr) {
        fclose(pScreen->pInput);
    }
    pScreen->pInput = nullptr;
    pScreen->bOwnInput = false;
}

// Takes the terminal; false with the reason when the terminal type is not known.
bool OpenCursesScreen(CursesScreen* pScreen, char* szReason, size_t cchReason) {
    FILE* pOut = g_pTerminalOut != nullptr ? g_pTerminalOut : stdout;
    pScreen->pInput = g_pTerminalIn != nullptr ? g_pTerminalIn : stdin;
    pScreen->bOwnInput = false;
    if (g_pTerminalIn == nullptr && !isatty(fileno(stdin))) {
        FILE* pTty = fopen("/dev/tty", "r");
        if (pTty != nullptr) {
            pScreen->pInput = pTty;
            pScreen->bOwnInput = true;
        }
    }
    pScreen->pScreen = newterm(nullptr, pOut, pScreen->pInput);
    if (pScreen->pScreen == nullptr) {
        const char* szTerm = getenv("TERM");
        if (szTerm == nullptr || szTerm[0] == '\0') {
            snprintf(szReason, cchReason, "%s", "TERM does not name the terminal type");
        } else {
            snprintf(szReason, cchReason, "the terminal type \"%s\" is not known", szTerm);
        }
        ReleaseInput(pScreen);
        return false;
    }
    set_term(pScreen->pScreen);
    g_fdTerminalOut = fileno(pOut);
    g_bScreenActive = true;
    static bool bAtExitInstalled = false;
    if (!bAtExitInstalled) {
        atexit(RestoreTerminalAtExit);
        bAtExitInstalled = true;
    }
    cbreak();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    set_escdelay(kEscDelayMs);
    define_key("\033[I", kKeyFocusIn);
    define_key("\033[O", kKeyFocusOut);
    curs_set(0);
    if (has_colors()) {
        start_color();
        use_default_colors();
    }
    // The screen is taken before the focus reports are switched on, and given back after they
    // are switched off.
    erase();
    refresh();
    WriteAll(g_fdTerminalOut, kFocusEventsOn);
    return true;
}

void CloseCursesScreen(CursesScreen* pScreen) {
    if (pScreen->pScreen == nullptr) {
        return;
    }
    WriteAll(g_fdTerminalOut, kFocusEventsOff);
    endwin();
    g_bScreenActive = false;
    delscreen(pScreen->pScreen);
    pScreen->pScreen = nullptr;
    ReleaseInput(pScreen);
}

}  // namespace

void UseCursesTerminal(FILE* pOut, FILE* pIn) {
    g_pTerminalOut = pOut;
    g_pTerminalIn = pIn;
}

bool WaitForKey(const CursesScreen& screen) {
    if (screen.pInput == nullptr) {
        return false;
    }
    struct pollfd fd = {fileno(screen.pInput), POLLIN, 0};
    for (;;) {
        int nReady = poll(&fd, 1, -1);
        if (nReady < 0) {
            return false;  // EINTR: a signal, which the main loop handles
        }
        if ((fd.revents & POLLIN) != 0) {
            return true;
        }
        if ((fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return false;
        }
    }
}

std::string OneLine(const char* szText) {
    std::string text = szText != nullptr ? szText : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    for (char& c : text) {
        if (c == '\n' || c == '\r' || c == '\t') {
            c = ' ';
        }
    }
    return text;
}

void PutText(int nRow, int nCol, const std::string& text, int nWidth, attr_t attr) {
    if (nRow < 0 || nRow >= LINES || nCol < 0 || nCol >= COLS || nWidth <= 0) {
        return;
    }
    if (nCol + nWidth > COLS) {
        nWidth = COLS - nCol;
    }
    std::string shown = OneLine(ShownArmText(text).c_str()).substr(0, static_cast<size_t>(nWidth));
    attron(attr);
    mvaddnstr(nRow, nCol, shown.c_str(), static_cast<int>(shown.size()));
    attroff(attr);
}

void PutCentred(int nRow, int nCol, int nWidth, const std::string& text, attr_t attr) {
    int nLength = static_cast<int>(text.size());
    int nAt = nCol + (nLength < nWidth ? (nWidth - nLength) / 2 : 0);
    PutText(nRow, nAt, text, nWidth - (nAt - nCol), attr);
}

// One cell of a frame, when it is on the screen.
static void PutCell(int nRow, int nCol, chtype cell) {
    if (nRow >= 0 && nRow < LINES && nCol >= 0 && nCol < COLS) {
        mvaddch(nRow, nCol, cell);
    }
}

void DrawFrame(int nTop, int nLeft, int nHeight, int nWidth) {
    if (nWidth < 2 || nHeight < 2) {
        return;
    }
    int nRight = nLeft + nWidth - 1;
    int nBottom = nTop + nHeight - 1;
    for (int nCol = nLeft + 1; nCol < nRight; ++nCol) {
        PutCell(nTop, nCol, ACS_HLINE);
        PutCell(nBottom, nCol, ACS_HLINE);
    }
    for (int nRow = nTop + 1; nRow < nBottom; ++nRow) {
        PutCell(nRow, nLeft, ACS_VLINE);
        PutCell(nRow, nRight, ACS_VLINE);
    }
    PutCell(nTop, nLeft, ACS_ULCORNER);
    PutCell(nTop, nRight, ACS_URCORNER);
    PutCell(nBottom, nLeft, ACS_LLCORNER);
    PutCell(nBottom, nRight, ACS_LRCORNER);
}

bool CursesFace::Open(char* szReason, size_t cchReason) {
    Reset();
    if (!OpenCursesScreen(&screen, szReason, cchReason)) {
        return false;
    }
    Draw();
    return true;
}

void CursesFace::Close() {
    if (screen.pScreen == nullptr) {
        return;
    }
    CloseCursesScreen(&screen);
    printf("status: %s\n", OneLine(ModelText(model, kIdStatusText).c_str()).c_str());
    PrintLastState();
    fflush(stdout);
    for (const std::string& line : model.portFailures) {
        fprintf(stderr, "armlink: %s\n", line.c_str());
    }
    // Held while the dialog had the screen; handed over whole once the terminal is back.
    PrintUnloggedEntry(model, stderr);
    fflush(stderr);
}

void CursesFace::ReportPortFailure(unsigned nPort, const char* szDevice, const char* szReason) {
    NotePortFailure(nPort, szDevice, szReason);
}

void CursesFace::Draw() {
    if (screen.pScreen != nullptr) {
        erase();
        DrawDialog();
        refresh();
    }
}

// ncurses buffers what it has read: every key it holds is taken, so that the next wait on the
// descriptor does not sleep over keys already read.
void CursesFace::ReadInput() {
    if (screen.pScreen == nullptr) {
        return;
    }
    for (int nKey = getch(); nKey != ERR; nKey = getch()) {
        switch (nKey) {
            case kKeyEscape:  // the cancel command: the dialog's button ends it in every state
            case 'q':
            case 'Q':
                closeRequest = kCloseNow;
                break;
            case 'r':
            case 'R':
            case kKeyFocusIn:
                bActivation = true;
                break;
            case KEY_RESIZE:
                Draw();
                break;
            default:
                HandleKey(nKey);  // kKeyFocusOut, a deactivation, changes nothing
                break;
        }
    }
}

void CursesFace::Resize() {
    struct winsize size;
    if (screen.pScreen != nullptr && ioctl(g_fdTerminalOut, TIOCGWINSZ, &size) == 0 &&
        size.ws_row > 0 && size.ws_col > 0) {
        resizeterm(size.ws_row, size.ws_col);
    }
    Draw();
}

bool CursesFace::TakeActivation() {
    bool bTaken = bActivation;
    bActivation = false;
    return bTaken;
}
