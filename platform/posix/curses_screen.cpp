// The terminal screen of the interactive faces: ncurses opened on the terminal, the terminal
// given back at exit, frames and clipped texts.
#include "platform/posix/curses_screen.h"

#include <errno.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

namespace {

const char kFocusEventsOn[] = "\033[?1004h";
const char kFocusEventsOff[] = "\033[?1004l";
// How long a lone Esc waits for the rest of a key sequence.
constexpr int kEscDelayMs = 50;

bool g_bScreenActive = false;
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

}  // namespace

bool OpenCursesScreen(CursesScreen* pScreen, char* szReason, size_t cchReason) {
    // Keys come from the terminal even when standard input is redirected.
    pScreen->pInput = stdin;
    pScreen->bOwnInput = false;
    if (!isatty(fileno(stdin))) {
        FILE* pTty = fopen("/dev/tty", "r");
        if (pTty != nullptr) {
            pScreen->pInput = pTty;
            pScreen->bOwnInput = true;
        }
    }
    pScreen->pScreen = newterm(nullptr, stdout, pScreen->pInput);
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
    g_fdTerminalOut = fileno(stdout);
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

void PutText(int nRow, int nCol, const std::string& text, int nWidth, attr_t attr) {
    if (nRow < 0 || nRow >= LINES || nCol < 0 || nCol >= COLS || nWidth <= 0) {
        return;
    }
    if (nCol + nWidth > COLS) {
        nWidth = COLS - nCol;
    }
    std::string shown = text.substr(0, static_cast<size_t>(nWidth));
    for (char& c : shown) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F) {
            c = '?';
        }
    }
    attron(attr);
    mvaddnstr(nRow, nCol, shown.c_str(), static_cast<int>(shown.size()));
    attroff(attr);
}

void DrawFrame(int nTop, int nLeft, int nHeight, int nWidth) {
    if (nWidth < 2 || nHeight < 2) {
        return;
    }
    int nRight = nLeft + nWidth - 1;
    int nBottom = nTop + nHeight - 1;
    for (int nCol = nLeft + 1; nCol < nRight && nCol < COLS; ++nCol) {
        if (nTop < LINES) {
            mvaddch(nTop, nCol, ACS_HLINE);
        }
        if (nBottom < LINES) {
            mvaddch(nBottom, nCol, ACS_HLINE);
        }
    }
    for (int nRow = nTop + 1; nRow < nBottom && nRow < LINES; ++nRow) {
        if (nLeft < COLS) {
            mvaddch(nRow, nLeft, ACS_VLINE);
        }
        if (nRight < COLS) {
            mvaddch(nRow, nRight, ACS_VLINE);
        }
    }
    if (nTop < LINES && nLeft < COLS) {
        mvaddch(nTop, nLeft, ACS_ULCORNER);
    }
    if (nTop < LINES && nRight < COLS) {
        mvaddch(nTop, nRight, ACS_URCORNER);
    }
    if (nBottom < LINES && nLeft < COLS) {
        mvaddch(nBottom, nLeft, ACS_LLCORNER);
    }
    if (nBottom < LINES && nRight < COLS) {
        mvaddch(nBottom, nRight, ACS_LRCORNER);
    }
}
