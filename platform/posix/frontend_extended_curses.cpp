// The interactive face of the extended error display: ERROR_DISPLAY_DLG drawn in the terminal
// with ncurses, the report in a scrolling pane, Check, Save and Close on their keys, the save
// path asked for on a prompt line, and which exchange of a Check is under way.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

#include "common/app_state.h"
#include "platform/posix/curses_screen.h"
#include "platform/posix/frontend.h"

namespace {

const char kCaption[] = "Extended Error Display";
const char kHints[] =
    "c/Enter: Check  s: Save  Esc/q: Close  arrows, PgUp/PgDn, Home/End: scroll  "
    "r: search again";
constexpr int kKeyControlU = 21;
constexpr int kSideStep = 8;  // columns moved by one left or right arrow

// The rows of the dialog: caption, status, the pane in its frame, then the progress (or
// prompt) row, the buttons and the key hints at the bottom.
constexpr int kStatusRow = 1;
constexpr int kPaneTop = 2;
constexpr int kRowsBelowPane = 3;

class ExtendedCursesFace : public CursesFace {
  public:
    ExtendedCursesFace() : CursesFace(kRunModeExtended) {}

    // The prompt line starts with the stored path; Enter takes it, Esc cancels.
    bool AskSaveFileName(char* szPath, uint32_t cchPath) override {
        if (screen.pScreen == nullptr || cchPath == 0) {
            return false;
        }
        prompt.assign(szPath, strnlen(szPath, cchPath));
        bPrompting = true;
        curs_set(1);
        Draw();
        bool bChosen = false;
        bool bDone = false;
        while (!bDone && WaitForKey(screen)) {
            int nKey;
            while (!bDone && (nKey = getch()) != ERR) {
                if (nKey == '\n' || nKey == '\r' || nKey == KEY_ENTER) {
                    bChosen = !prompt.empty();
                    bDone = bChosen;
                } else if (nKey == kKeyEscape) {
                    bDone = true;
                } else if (nKey == KEY_BACKSPACE || nKey == 127 || nKey == 8) {
                    if (!prompt.empty()) {
                        prompt.pop_back();
                    }
                } else if (nKey == kKeyControlU) {
                    prompt.clear();
                } else if (nKey == KEY_RESIZE) {
                    Resize();
                } else if (nKey >= 0x20 && nKey <= 0xFF && nKey != 0x7F &&
                           prompt.size() + 1 < cchPath) {
                    prompt += static_cast<char>(nKey);
                }
            }
            Draw();
        }
        bPrompting = false;
        curs_set(0);
        if (bChosen) {
            memcpy(szPath, prompt.c_str(), prompt.size() + 1);
        }
        Draw();
        // Keys typed after Enter are the dialog's again.
        ReadInput();
        return bChosen;
    }

    // A box over the pane until a key is pressed (keys typed before it came do not count).
    void ShowMessage(const char* szText, const char* szCaption) override {
        if (screen.pScreen == nullptr) {
            return;
        }
        messageCaption = szCaption;
        messageText = szText;
        bMessage = true;
        Draw();
        flushinp();
        if (WaitForKey(screen)) {
            getch();
        }
        bMessage = false;
        Draw();
    }

    // A button pressed while it was enabled; one disabled since then is not run.
    int TakeCommand() override {
        while (!commands.empty()) {
            int nId = commands.front();
            commands.pop_front();
            if (!ModelControl(model, nId).bEnabled) {
                continue;
            }
            if (nId == kIdButton) {
                nBlockStart = static_cast<int>(model.report.LineCount()) - 1;
                bChecking = true;
            }
            return nId;
        }
        return 0;
    }

  protected:
    // Appended at the end: during a Check the view keeps the newest block's start in sight,
    // otherwise it follows the end, as the edit control scrolls its caret into view.
    void Changed(ModelPart part, int) override {
        if (part == kPartReport) {
            int nEnd = MaxTop();
            nTop = bChecking && nBlockStart < nEnd ? nBlockStart : nEnd;
        } else if (part == kPartProgress && model.progress.empty()) {
            bChecking = false;
        }
        Draw();
    }

    void Reset() override {
        CursesFace::Reset();
        prompt.clear();
        bChecking = false;
        bPrompting = false;
        bMessage = false;
        commands.clear();
        nTop = 0;
        nLeft = 0;
        nBlockStart = 0;
    }

    // Check and Save are pressed while they are enabled; the other keys move the view.
    void HandleKey(int nKey) override {
        bool bCheck =
            nKey == 'c' || nKey == 'C' || nKey == '\n' || nKey == '\r' || nKey == KEY_ENTER;
        int nButton = bCheck ? kIdButton : (nKey == 's' || nKey == 'S' ? kIdSaveButton : 0);
        if (nButton != 0 && ModelControl(model, nButton).bEnabled) {
            commands.push_back(nButton);
        } else if (nKey == KEY_UP || nKey == KEY_DOWN) {
            ScrollTo(nTop + (nKey == KEY_UP ? -1 : 1));
        } else if (nKey == KEY_PPAGE || nKey == KEY_NPAGE) {
            ScrollTo(nTop + (nKey == KEY_PPAGE ? -PaneRows() : PaneRows()));
        } else if (nKey == KEY_HOME || nKey == KEY_END) {
            ScrollTo(nKey == KEY_HOME ? 0 : MaxTop());
        } else if (nKey == KEY_LEFT) {
            nLeft = nLeft > kSideStep ? nLeft - kSideStep : 0;
            Draw();
        } else if (nKey == KEY_RIGHT) {
            nLeft += nLeft + kSideStep < LongestLine() ? kSideStep : 0;
            Draw();
        }
    }

    int PaneRows() const {
        int nRows = LINES - kPaneTop - 2 - kRowsBelowPane;
        return nRows > 1 ? nRows : 1;
    }

    int MaxTop() const {
        int nMax = static_cast<int>(model.report.LineCount()) - PaneRows();
        return nMax > 0 ? nMax : 0;
    }

    int LongestLine() const {
        size_t nLongest = 0;
        for (uint32_t n = 0; n < model.report.LineCount(); ++n) {
            nLongest = std::max(nLongest, model.report.Line(n).size());
        }
        return static_cast<int>(nLongest);
    }

    void ScrollTo(int nLine) {
        int nMax = MaxTop();
        nTop = nLine < 0 ? 0 : (nLine > nMax ? nMax : nLine);
        Draw();
    }

    // A button with its mnemonic underlined; a disabled one dim.
    static int PutButton(int nRow, int nCol, const std::string& caption, bool bEnabled) {
        attr_t attr = bEnabled ? A_BOLD : A_DIM;
        PutText(nRow, nCol, "[ ", 2, attr);
        PutText(nRow, nCol + 2, caption.substr(0, 1), 1, attr | A_UNDERLINE);
        PutText(nRow, nCol + 3, caption.substr(1) + " ]", static_cast<int>(caption.size()) + 1,
                attr);
        return nCol + static_cast<int>(caption.size()) + 6;
    }

    void DrawDialog() override {
        int nWidth = COLS;
        PutText(0, 0, std::string(static_cast<size_t>(nWidth), ' '), nWidth, A_REVERSE);
        PutCentred(0, 0, nWidth, kCaption, A_REVERSE | A_BOLD);
        PutCentred(kStatusRow, 0, nWidth, OneLine(ModelText(model, kIdStatusText).c_str()));

        int nRows = PaneRows();
        DrawFrame(kPaneTop, 0, nRows + 2, nWidth);
        for (int nRow = 0; nRow < nRows; ++nRow) {
            const std::string& text = model.report.Line(static_cast<uint32_t>(nTop + nRow));
            if (static_cast<size_t>(nLeft) < text.size()) {
                PutText(kPaneTop + 1 + nRow, 1, text.substr(static_cast<size_t>(nLeft)),
                        nWidth - 2);
            }
        }
        uint32_t nLines = model.report.LineCount();
        if (nLines > 1) {
            int nLast =
                nTop + nRows < static_cast<int>(nLines) ? nTop + nRows : static_cast<int>(nLines);
            char szWhere[64];
            snprintf(szWhere, sizeof szWhere, " lines %d-%d of %u ", nTop + 1, nLast,
                     static_cast<unsigned>(nLines));
            int nWhereCol = nWidth - static_cast<int>(strlen(szWhere)) - 2;
            PutText(kPaneTop + nRows + 1, nWhereCol > 1 ? nWhereCol : 1, szWhere, nWidth - 2);
        }

        int nBelow = kPaneTop + nRows + 2;
        int nCursorCol = 0;
        if (bPrompting) {
            // The end of a long path is in view: the file's name is what is typed last.
            const char szLabel[] = "Save to: ";
            int nField = nWidth - static_cast<int>(sizeof szLabel - 1) - 2;
            nField = nField > 1 ? nField : 1;
            std::string shown = prompt.size() > static_cast<size_t>(nField - 1)
                                    ? prompt.substr(prompt.size() - static_cast<size_t>(nField - 1))
                                    : prompt;
            PutText(nBelow, 1, szLabel, nWidth - 1, A_BOLD);
            PutText(nBelow, 1 + static_cast<int>(sizeof szLabel - 1), shown, nField);
            nCursorCol = 1 + static_cast<int>(sizeof szLabel - 1) + static_cast<int>(shown.size());
        } else if (!model.progress.empty()) {
            PutText(nBelow, 1, "Checking: " + model.progress, nWidth - 1, A_BOLD);
        } else if (!model.note.empty()) {
            // "Saved to <path>", or the ports that would not open under "No Arm Found".
            PutText(nBelow, 1, model.note, nWidth - 1, A_DIM);
        }
        int nCol = 2;
        nCol = PutButton(nBelow + 1, nCol, ModelText(model, kIdButton),
                         ModelControl(model, kIdButton).bEnabled);
        nCol = PutButton(nBelow + 1, nCol, ModelText(model, kIdSaveButton),
                         ModelControl(model, kIdSaveButton).bEnabled);
        PutButton(nBelow + 1, nCol, "Close", true);
        PutText(nBelow + 2, 0, kHints, nWidth, A_DIM);
        if (bMessage) {
            DrawMessage();
        }
        if (bPrompting && !bMessage) {
            move(nBelow, nCursorCol < nWidth ? nCursorCol : nWidth - 1);
        }
    }

    // The message box in the middle of the pane: caption, text (its end when it is long) and
    // the one button.
    void DrawMessage() {
        int nBoxWidth = COLS - 4;
        int nInner = nBoxWidth - 4;
        if (nInner < 1) {
            return;
        }
        int nTopRow = kPaneTop + PaneRows() / 2 - 2;
        nTopRow = nTopRow > 0 ? nTopRow : 0;
        for (int nRow = nTopRow; nRow < nTopRow + 6; ++nRow) {
            PutText(nRow, 2, std::string(static_cast<size_t>(nBoxWidth), ' '), nBoxWidth);
        }
        DrawFrame(nTopRow, 2, 6, nBoxWidth);
        PutText(nTopRow, 4, " " + messageCaption + " ", nInner, A_BOLD);
        std::string text =
            messageText.size() > static_cast<size_t>(nInner)
                ? messageText.substr(messageText.size() - static_cast<size_t>(nInner))
                : messageText;
        PutText(nTopRow + 2, 4, text, nInner);
        int nButtonCol = 2 + (nBoxWidth - 6) / 2;
        PutText(nTopRow + 4, nButtonCol, "[ OK ]", 6, A_REVERSE);
    }

  private:
    std::string prompt;
    std::string messageCaption;
    std::string messageText;
    bool bChecking = false;
    bool bPrompting = false;
    bool bMessage = false;
    std::deque<int> commands;
    int nTop = 0;
    int nLeft = 0;
    int nBlockStart = 0;
};

}  // namespace

FrontEnd* CreateExtendedCursesFace() {
    return new ExtendedCursesFace();
}
