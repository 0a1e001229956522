// The terminal screen of the interactive faces: opening ncurses on the terminal (also when
// standard input is redirected), giving the terminal back on every way out, and the drawing
// helpers for frames and clipped texts.
#ifndef ARMLINK_PLATFORM_POSIX_CURSES_SCREEN_H
#define ARMLINK_PLATFORM_POSIX_CURSES_SCREEN_H

#include <curses.h>

#include <cstddef>
#include <cstdio>
#include <string>

// xterm focus events: "\033[I" when the terminal gains the focus, "\033[O" when it loses it.
constexpr int kKeyFocusIn = KEY_MAX + 1;
constexpr int kKeyFocusOut = KEY_MAX + 2;

// The screen of one dialog and the terminal input it reads its keys from.
struct CursesScreen {
    SCREEN* pScreen = nullptr;
    FILE* pInput = nullptr;
    bool bOwnInput = false;
};

// Opens the screen on standard output, keys from the terminal, keys without waiting, focus
// events on. False when the terminal cannot be drawn on; szReason then says why.
bool OpenCursesScreen(CursesScreen* pScreen, char* szReason, size_t cchReason);
// Gives the terminal back as it was.
void CloseCursesScreen(CursesScreen* pScreen);

// Waits until a key can be read or the terminal's input is gone; false when it is gone or a
// signal came (the main loop then acts on the signal).
bool WaitForKey(const CursesScreen& screen);

// Writes at most nWidth characters of text at row, col, clipped to the screen. Bytes that the
// terminal cannot show as they are (controls, and the code page's signs above 127) show as "?".
void PutText(int nRow, int nCol, const std::string& text, int nWidth, attr_t attr = 0);
// A frame of the line-drawing characters, clipped to the screen.
void DrawFrame(int nTop, int nLeft, int nHeight, int nWidth);

#endif
