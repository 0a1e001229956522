// The ncurses screen that the terminal faces of the dialogs share: taking the terminal and
// giving it back, focus reports, and the drawing helpers that clip to the screen.
#ifndef ARMLINK_PLATFORM_POSIX_CURSES_SCREEN_H
#define ARMLINK_PLATFORM_POSIX_CURSES_SCREEN_H

#include <curses.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/posix/frontend.h"

// xterm focus events arrive as these keys while the screen is open: "\033[I" when the terminal
// gains the focus, "\033[O" when it loses it.
constexpr int kKeyFocusIn = KEY_MAX + 1;
constexpr int kKeyFocusOut = KEY_MAX + 2;
constexpr int kKeyEscape = 27;

// The terminal as one dialog face holds it.
struct CursesScreen {
    SCREEN* pScreen = nullptr;
    FILE* pInput = nullptr;  // where the keys come from
    bool bOwnInput = false;  // pInput is /dev/tty, opened here
};

// Waits until a key can be read or the terminal's input is gone; false when it is gone or a
// signal came (the main loop then acts on the signal).
bool WaitForKey(const CursesScreen& screen);

// The text without the line ends that close it, inner line ends and tabs as blanks.
std::string OneLine(const char* szText);
// Writes at most nWidth characters of text at row, col, clipped to the screen. Bytes that the
// terminal would obey or cannot show (controls, the signs above 0x7E) show as "\xNN"; line ends
// and tabs as blanks.
void PutText(int nRow, int nCol, const std::string& text, int nWidth, attr_t attr = 0);
// The text centred in the nWidth columns from nCol; a longer one starts at nCol.
void PutCentred(int nRow, int nCol, int nWidth, const std::string& text, attr_t attr = 0);
// A box with line-drawing characters, clipped to the screen.
void DrawFrame(int nTop, int nLeft, int nHeight, int nWidth);

// Where the faces draw and read their keys: the process's terminal (pOut and pIn nullptr), or the
// files a test gives.
void UseCursesTerminal(FILE* pOut, FILE* pIn);

// What the three dialogs drawn with ncurses share: the screen (the terminal taken with keys from
// it even when standard input is redirected, keypad and focus reports on, no cursor), the keys read
// without waiting (Esc and q close, r and a focus-in report ask for an activation), and the
// terminal given back at the end (also at exit when a face could not) with the dialog's last state
// printed into its history.
class CursesFace : public FrontEnd {
  public:
    explicit CursesFace(int32_t nRunMode, uint32_t nPolls = 0) : FrontEnd(nRunMode, nPolls) {}
    bool Open(char* szReason, size_t cchReason) override;
    void Close() override;
    int InputFd() override {
        return screen.pScreen != nullptr && screen.pInput != nullptr ? fileno(screen.pInput) : -1;
    }
    void ReadInput() override;
    void Resize() override;
    bool TakeActivation() override;
    // Messages on standard error would tear the drawing: while the dialog is open the status
    // line names the port tried, "No Arm Found" lists the ports that would not open and why
    // (another program holds one), and they are named again once the terminal is given back.
    void ReportPortFailure(unsigned nPort, const char* szDevice, const char* szReason) override;

  protected:
    void Reset() override {
        FrontEnd::Reset();
        bActivation = false;
    }
    // Every change of the model is drawn.
    void Changed(ModelPart, int) override { Draw(); }
    // Draws the dialog when the screen is open.
    void Draw();
    virtual void DrawDialog() = 0;
    // The keys other than the ones every dialog shares; Enter closes a dialog whose button
    // ends it.
    virtual void HandleKey(int nKey) {
        if (nKey == '\n' || nKey == '\r' || nKey == KEY_ENTER) {
            closeRequest = kCloseNow;
        }
    }
    // What stays in the terminal's history below the status line once the dialog is closed.
    virtual void PrintLastState() {}

    CursesScreen screen;
    bool bActivation = false;
};

#endif
