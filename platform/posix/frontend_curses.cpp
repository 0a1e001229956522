// The interactive face of armlink: VOLUME_DLG drawn in the terminal with ncurses, closed with
// Esc, Enter or q; r and the terminal's focus-in report start the search again.
#include <string>

#include "common/app_state.h"
#include "platform/posix/curses_screen.h"
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

class CursesFrontEnd : public CursesFace {
  public:
    CursesFrontEnd() : nPathOffset(0) { ResetFace(); }

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

    // What the dialog last showed stays in the terminal's history.
    void PrintLastState() override {
        printf("status: %s\n", OneLine(status.c_str()).c_str());
        if (!note.empty()) {
            printf("note: %s\n", OneLine(note.c_str()).c_str());
        }
        if (bPathShown) {
            printf("log: %s\n", path.c_str());
        }
    }

    void ResetFace() override {
        note.clear();
        status = " ";
        button = "Cancel";
        path.clear();
        bLabelShown = false;
        bPathShown = false;
        bButtonEnabled = true;
        nPathOffset = 0;
    }

    void HandleKey(int nKey) override {
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

    // The dialog stands at the top left corner, as its template places it at 0, 0.
    void Draw() override {
        if (screen.pScreen == nullptr) {
            return;
        }
        erase();
        int nWidth = BoxWidth();
        int nInner = nWidth - 2;
        DrawFrame(0, 0, kBoxHeight, nWidth);
        PutText(0, 2, " ZOLM Log ", nInner - 2, A_BOLD);

        // The status line, centred.
        std::string line = OneLine(status.c_str());
        if (static_cast<int>(line.size()) > nInner) {
            line.resize(static_cast<size_t>(nInner));
        }
        int nStatusCol = 1 + (nInner - static_cast<int>(line.size())) / 2;
        PutText(kStatusRow, nStatusCol, line, nInner);
        if (!note.empty()) {
            std::string noteLine = OneLine(note.c_str());
            if (static_cast<int>(noteLine.size()) > nInner - 2) {
                noteLine.resize(static_cast<size_t>(nInner - 2 > 0 ? nInner - 2 : 0));
            }
            int nNoteCol = 1 + (nInner - static_cast<int>(noteLine.size())) / 2;
            PutText(kNoteRow, nNoteCol, noteLine, nInner, A_DIM);
        }

        if (bLabelShown) {
            PutText(kLabelRow, 2, "Log Saved In:", nInner - 1);
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
            DrawFrame(kFieldRow, 2, 3, nField + 4);
            PutText(kFieldRow + 1, 4, path.substr(static_cast<size_t>(nPathOffset)), nField);
            if (nPathOffset > 0) {
                PutText(kFieldRow + 1, 3, "<", 1, A_BOLD);
            }
            if (nPathOffset < nMax) {
                PutText(kFieldRow + 1, 4 + nField, ">", 1, A_BOLD);
            }
        }

        std::string caption = "[ " + button + " ]";
        int nButtonCol = (nWidth - static_cast<int>(caption.size())) / 2;
        PutText(kButtonRow, nButtonCol < 1 ? 1 : nButtonCol, caption, nInner,
                bButtonEnabled ? A_REVERSE : A_DIM);

        PutText(kBoxHeight, 0, "Esc, Enter or q: close   r: search again", COLS, A_DIM);
        refresh();
    }

  private:
    std::string status;
    std::string note;
    std::string button;
    std::string path;
    bool bLabelShown;
    bool bPathShown;
    bool bButtonEnabled;
    int nPathOffset;
};

}  // namespace

FrontEnd* CreateCursesFrontEnd() {
    return new CursesFrontEnd();
}
