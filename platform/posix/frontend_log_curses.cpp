// The interactive face of the log dialog: VOLUME_DLG drawn in the terminal with ncurses, closed
// with Esc, Enter or q; r and the terminal's focus-in report start the search again.
#include <algorithm>
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

class LogDialogCursesFace : public CursesFace {
  public:
    LogDialogCursesFace() : CursesFace(kRunModeLog) {}

  protected:
    void Changed(ModelPart part, int nId) override {
        if (part == kPartText && nId == kIdLogPathText) {
            nPathOffset = -1;  // placed on the next drawing
        }
        Draw();
    }

    // What the dialog last showed stays in the terminal's history.
    void PrintLastState() override {
        if (!model.note.empty()) {
            printf("note: %s\n", OneLine(model.note.c_str()).c_str());
        }
        if (ModelControl(model, kIdLogPathText).bShown) {
            printf("%s\n", PathLine(model).c_str());
        }
    }

    void Reset() override {
        CursesFace::Reset();
        nPathOffset = 0;
    }

    void HandleKey(int nKey) override {
        if (nKey == KEY_LEFT || nKey == KEY_RIGHT) {
            ScrollPath(nKey == KEY_LEFT ? -4 : 4);
        } else {
            CursesFace::HandleKey(nKey);
        }
    }

    const std::string& Path() const { return ModelText(model, kIdLogPathText); }
    int BoxWidth() const { return COLS < kBoxWidth ? COLS : kBoxWidth; }
    int FieldWidth() const {
        int nWidth = BoxWidth() - 8;
        return nWidth > 1 ? nWidth : 1;
    }

    void ScrollPath(int nStep) {
        if (ModelControl(model, kIdLogPathText).bShown) {
            int nMax = static_cast<int>(Path().size()) - FieldWidth();
            nPathOffset = std::max(0, std::min(nPathOffset + nStep, nMax));
            Draw();
        }
    }

    // The dialog stands at the top left corner, as its template places it at 0, 0.
    void DrawDialog() override {
        int nWidth = BoxWidth();
        int nInner = nWidth - 2;
        DrawFrame(0, 0, kBoxHeight, nWidth);
        PutText(0, 2, " ZOLM Log ", nInner - 2, A_BOLD);
        PutCentred(kStatusRow, 1, nInner, OneLine(ModelText(model, kIdStatusText).c_str()));
        if (!model.note.empty()) {
            std::string note = OneLine(model.note.c_str());
            PutCentred(kNoteRow, 1, nInner, note.substr(0, nInner > 2 ? nInner - 2 : 0), A_DIM);
        }
        if (ModelControl(model, kIdLogPathLabel).bShown) {
            PutText(kLabelRow, 2, ModelText(model, kIdLogPathLabel), nInner - 1);
        }
        if (ModelControl(model, kIdLogPathText).bShown) {
            // A read-only single-line field that scrolls sideways: the end of a long path (the
            // file's name) is in view first; the arrow keys move along it.
            int nField = FieldWidth();
            int nLength = static_cast<int>(Path().size());
            int nMax = nLength > nField ? nLength - nField : 0;
            if (nPathOffset < 0 || nPathOffset > nMax) {
                nPathOffset = nMax;
            }
            DrawFrame(kFieldRow, 2, 3, nField + 4);
            PutText(kFieldRow + 1, 4, Path().substr(static_cast<size_t>(nPathOffset)), nField);
            if (nPathOffset > 0) {
                PutText(kFieldRow + 1, 3, "<", 1, A_BOLD);
            }
            if (nPathOffset < nMax) {
                PutText(kFieldRow + 1, 4 + nField, ">", 1, A_BOLD);
            }
        }

        std::string caption = "[ " + ModelText(model, kIdButton) + " ]";
        int nButtonCol = (nWidth - static_cast<int>(caption.size())) / 2;
        PutText(kButtonRow, nButtonCol < 1 ? 1 : nButtonCol, caption, nInner,
                ModelControl(model, kIdButton).bEnabled ? A_REVERSE : A_DIM);

        PutText(kBoxHeight, 0, "Esc, Enter or q: close   r: search again", COLS, A_DIM);
    }

  private:
    int nPathOffset = 0;
};

}  // namespace

FrontEnd* CreateLogCursesFace() {
    return new LogDialogCursesFace();
}
