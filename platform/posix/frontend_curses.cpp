// The interactive face of armlink: VOLUME_DLG drawn in the terminal with ncurses, closed with
// Esc, Enter or q; r and the terminal's focus-in report start the search again.
#include <curses.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "common/app_state.h"
#include "platform/posix/frontend.h"

namespace {

// The dialog in character cells: 143 x 73 dialog units at about three units to a column and
// seven to a row, so that the path field has room.
constexpr int kBoxWidth = 48;
constexpr int kBoxHeight = 11;
constexpr int kStatusRow = 2;
constexpr int kNoteRow = 3;  // progress of the work, or what the arm left unanswered
constexpr int kLabelRow = 4;
constexpr int kFieldRow = 5;  // the field's frame takes rows 5 to 7
constexpr int kButtonRow = 9;

// xterm focus events: the terminal reports "\033[I" when it gains the focus, "\033[O" when it
// loses it, while mode 1004 is on.
const char kFocusEventsOn[] = "\033[?1004h";
const char kFocusEventsOff[] = "\033[?1004l";
constexpr int kKeyFocusIn = KEY_MAX + 1;
constexpr int kKeyFocusOut = KEY_MAX + 2;
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

// The text without the line ends that close it (the identity line ends with "\n").
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

class CursesFrontEnd : public FrontEnd {
  public:
    CursesFrontEnd()
        : pScreen(nullptr),
          pInput(nullptr),
          bOwnInput(false),
          bActivation(false),
          closeRequest(kCloseNone),
          nPathOffset(0) {
        Reset();
    }

    bool Open(char* szReason, size_t cchReason) override {
        Reset();
        // Keys come from the terminal even when standard input is redirected.
        pInput = stdin;
        bOwnInput = false;
        if (!isatty(fileno(stdin))) {
            FILE* pTty = fopen("/dev/tty", "r");
            if (pTty != nullptr) {
                pInput = pTty;
                bOwnInput = true;
            }
        }
        pScreen = newterm(nullptr, stdout, pInput);
        if (pScreen == nullptr) {
            const char* szTerm = getenv("TERM");
            if (szTerm == nullptr || szTerm[0] == '\0') {
                snprintf(szReason, cchReason, "%s", "TERM does not name the terminal type");
            } else {
                snprintf(szReason, cchReason, "the terminal type \"%s\" is not known", szTerm);
            }
            ReleaseInput();
            return false;
        }
        set_term(pScreen);
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
        Draw();
        WriteAll(g_fdTerminalOut, kFocusEventsOn);
        return true;
    }

    void Close() override {
        if (pScreen == nullptr) {
            return;
        }
        WriteAll(g_fdTerminalOut, kFocusEventsOff);
        endwin();
        g_bScreenActive = false;
        delscreen(pScreen);
        pScreen = nullptr;
        ReleaseInput();
        // What the dialog last showed stays in the terminal's history.
        printf("status: %s\n", OneLine(status.c_str()).c_str());
        if (!note.empty()) {
            printf("note: %s\n", OneLine(note.c_str()).c_str());
        }
        if (bPathShown) {
            printf("log: %s\n", path.c_str());
        }
        fflush(stdout);
    }

    void SetItemText(int nId, const char* szText) override {
        const char* szValue = szText != nullptr ? szText : "";
        switch (nId) {
            case kIdStatusText:
                status = szValue;
                break;
            case kIdButton:
                button = szValue;
                break;
            case kIdLogPathText:
                path = szValue;
                nPathOffset = -1;  // placed on the next drawing
                break;
            default:
                return;
        }
        Draw();
    }

    void ShowItem(int nId) override {
        if (nId == kIdLogPathText) {
            bPathShown = true;
        } else if (nId == kIdLogPathLabel) {
            bLabelShown = true;
        } else {
            return;
        }
        Draw();
    }

    void EnableItem(int nId, bool bEnable) override {
        if (nId == kIdButton) {
            bButtonEnabled = bEnable;
            Draw();
        }
    }

    int InputFd() override { return pInput != nullptr ? fileno(pInput) : -1; }

    void ReadInput() override {
        if (pScreen == nullptr) {
            return;
        }
        // ncurses buffers what it has read: take every key until it has none left, so that the
        // next wait on the descriptor does not sleep over keys already read.
        for (;;) {
            int nKey = getch();
            if (nKey == ERR) {
                return;
            }
            HandleKey(nKey);
        }
    }

    void Resize() override {
        if (pScreen == nullptr) {
            return;
        }
        struct winsize size;
        if (ioctl(g_fdTerminalOut, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0) {
            resizeterm(size.ws_row, size.ws_col);
        }
        Draw();
    }

    bool TakeActivation() override {
        bool bTaken = bActivation;
        bActivation = false;
        return bTaken;
    }

    CloseRequest TakeCloseRequest() override {
        CloseRequest request = closeRequest;
        closeRequest = kCloseNone;
        return request;
    }

    // Messages on standard error would tear the drawing; the status line names the port.
    void ReportPortFailure(unsigned, const char*, const char*) override {}

    // The line below the status: which exchange the worker waits for.
    void ShowProgress(const char* szText) override {
        note = szText != nullptr ? szText : "";
        Draw();
    }

  protected:
    // An entry the arm did not complete is still "Done" in the status line; the line below it
    // says what is missing.
    void OnOutcome(RunOutcome outcome, const std::string& detail) override {
        note = outcome == kOutcomeIncomplete ? detail : std::string();
        Draw();
    }

  private:
    void Reset() {
        note.clear();
        status = " ";
        button = "Cancel";
        path.clear();
        bLabelShown = false;
        bPathShown = false;
        bButtonEnabled = true;
        bActivation = false;
        closeRequest = kCloseNone;
        nPathOffset = 0;
    }

    void ReleaseInput() {
        if (bOwnInput && pInput != nullptr) {
            fclose(pInput);
        }
        pInput = nullptr;
        bOwnInput = false;
    }

    void HandleKey(int nKey) {
        switch (nKey) {
            case 27:  // Esc: the cancel command
            case '\n':
            case '\r':
            case KEY_ENTER:
            case 'q':
            case 'Q':
                // The button ends the dialog in every state, as on Windows.
                closeRequest = kCloseNow;
                break;
            case 'r':
            case 'R':
            case kKeyFocusIn:
                bActivation = true;
                break;
            case KEY_LEFT:
                ScrollPath(-4);
                break;
            case KEY_RIGHT:
                ScrollPath(4);
                break;
            case KEY_RESIZE:
                Draw();
                break;
            default:
                break;  // kKeyFocusOut, a deactivation, changes nothing
        }
    }

    int BoxWidth() const { return COLS < kBoxWidth ? COLS : kBoxWidth; }
    int FieldWidth() const {
        int nWidth = BoxWidth() - 8;
        return nWidth > 1 ? nWidth : 1;
    }

    void ScrollPath(int nStep) {
        if (!bPathShown) {
            return;
        }
        int nMax = static_cast<int>(path.size()) - FieldWidth();
        if (nMax < 0) {
            nMax = 0;
        }
        nPathOffset += nStep;
        if (nPathOffset < 0) {
            nPathOffset = 0;
        }
        if (nPathOffset > nMax) {
            nPathOffset = nMax;
        }
        Draw();
    }

    // Writes at most nWidth characters of text at row, col, clipped to the screen.
    static void Put(int nRow, int nCol, const std::string& text, int nWidth, attr_t attr = 0) {
        if (nRow < 0 || nRow >= LINES || nCol < 0 || nCol >= COLS || nWidth <= 0) {
            return;
        }
        if (nCol + nWidth > COLS) {
            nWidth = COLS - nCol;
        }
        int nCount =
            static_cast<int>(text.size()) < nWidth ? static_cast<int>(text.size()) : nWidth;
        attron(attr);
        mvaddnstr(nRow, nCol, text.c_str(), nCount);
        attroff(attr);
    }

    static void Frame(int nTop, int nLeft, int nHeight, int nWidth) {
        if (nWidth < 2 || nHeight < 2) {
            return;
        }
        for (int nCol = nLeft + 1; nCol < nLeft + nWidth - 1; ++nCol) {
            if (nTop < LINES && nCol < COLS) {
                mvaddch(nTop, nCol, ACS_HLINE);
            }
            if (nTop + nHeight - 1 < LINES && nCol < COLS) {
                mvaddch(nTop + nHeight - 1, nCol, ACS_HLINE);
            }
        }
        for (int nRow = nTop + 1; nRow < nTop + nHeight - 1 && nRow < LINES; ++nRow) {
            if (nLeft < COLS) {
                mvaddch(nRow, nLeft, ACS_VLINE);
            }
            if (nLeft + nWidth - 1 < COLS) {
                mvaddch(nRow, nLeft + nWidth - 1, ACS_VLINE);
            }
        }
        int nRight = nLeft + nWidth - 1;
        int nBottom = nTop + nHeight - 1;
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

    // The dialog stands at the top left corner, as its template places it at 0, 0.
    void Draw() {
        if (pScreen == nullptr) {
            return;
        }
        erase();
        int nWidth = BoxWidth();
        int nInner = nWidth - 2;
        Frame(0, 0, kBoxHeight, nWidth);
        Put(0, 2, " ZOLM Log ", nInner - 2, A_BOLD);

        // The status line, centred.
        std::string line = OneLine(status.c_str());
        if (static_cast<int>(line.size()) > nInner) {
            line.resize(static_cast<size_t>(nInner));
        }
        int nStatusCol = 1 + (nInner - static_cast<int>(line.size())) / 2;
        Put(kStatusRow, nStatusCol, line, nInner);
        if (!note.empty()) {
            std::string noteLine = OneLine(note.c_str());
            if (static_cast<int>(noteLine.size()) > nInner - 2) {
                noteLine.resize(static_cast<size_t>(nInner - 2 > 0 ? nInner - 2 : 0));
            }
            int nNoteCol = 1 + (nInner - static_cast<int>(noteLine.size())) / 2;
            Put(kNoteRow, nNoteCol, noteLine, nInner, A_DIM);
        }

        if (bLabelShown) {
            Put(kLabelRow, 2, "Log Saved In:", nInner - 1);
        }
        if (bPathShown) {
            // A read-only single-line field that scrolls sideways: the end of a long path (the
            // file's name) is in view first; the arrow keys move along it.
            int nField = FieldWidth();
            int nLength = static_cast<int>(path.size());
            int nMax = nLength > nField ? nLength - nField : 0;
            if (nPathOffset < 0 || nPathOffset > nMax) {
                nPathOffset = nMax;
            }
            Frame(kFieldRow, 2, 3, nField + 4);
            Put(kFieldRow + 1, 4, path.substr(static_cast<size_t>(nPathOffset)), nField);
            if (nPathOffset > 0) {
                Put(kFieldRow + 1, 3, "<", 1, A_BOLD);
            }
            if (nPathOffset < nMax) {
                Put(kFieldRow + 1, 4 + nField, ">", 1, A_BOLD);
            }
        }

        std::string caption = "[ " + button + " ]";
        int nButtonCol = (nWidth - static_cast<int>(caption.size())) / 2;
        Put(kButtonRow, nButtonCol < 1 ? 1 : nButtonCol, caption, nInner,
            bButtonEnabled ? A_REVERSE : A_DIM);

        Put(kBoxHeight, 0, "Esc, Enter or q: close   r: search again", COLS, A_DIM);
        refresh();
    }

    SCREEN* pScreen;
    FILE* pInput;
    bool bOwnInput;
    std::string status;
    std::string note;
    std::string button;
    std::string path;
    bool bLabelShown;
    bool bPathShown;
    bool bButtonEnabled;
    bool bActivation;
    CloseRequest closeRequest;
    int nPathOffset;
};

}  // namespace

FrontEnd* CreateCursesFrontEnd() {
    return new CursesFrontEnd();
}
