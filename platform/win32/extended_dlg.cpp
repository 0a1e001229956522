// ExtendedDlgProc: the procedure of ERROR_DISPLAY_DLG, the dialog of "/extended". It gives the
// report its fixed-pitch font and room to grow, publishes the dialog in hDialog, and hands Check
// and Save to the portable extended display.
#include <windows.h>

#include <cstring>

#include "common/app_state.h"
#include "platform/win32/win32_platform.h"
#include "shell/extended_display.h"

namespace {

// As long as the process: the surface outlives the dialog (see StatusDlgProc).
Win32DialogSurface g_ExtendedSurface;
HFONT g_hReportFont = nullptr;
HFONT g_hTemplateFont = nullptr;

// A copy of the report's own font (the dialog's 8-point font) with a cell height of 12, fixed
// pitch without a family, and the face "Courier". Any failure keeps the control's font.
void SetReportFont(HWND hDlg) {
    HWND hReport = GetDlgItem(hDlg, kIdReportText);
    HFONT hFont = reinterpret_cast<HFONT>(SendMessageA(hReport, WM_GETFONT, 0, 0));
    LOGFONTA font;
    if (hFont == nullptr || GetObjectA(hFont, sizeof font, &font) == 0) {
        return;
    }
    font.lfHeight = 12;
    font.lfPitchAndFamily = FIXED_PITCH | FF_DONTCARE;
    memset(font.lfFaceName, 0, sizeof font.lfFaceName);
    strncpy(font.lfFaceName, "Courier", sizeof font.lfFaceName - 1);
    HFONT hReportFont = CreateFontIndirectA(&font);
    if (hReportFont == nullptr) {
        return;
    }
    g_hTemplateFont = hFont;
    g_hReportFont = hReportFont;
    SendMessageA(hReport, WM_SETFONT, reinterpret_cast<WPARAM>(hReportFont), FALSE);
}

// The font goes back to the template's before its own is deleted, so the control never holds
// a deleted font.
void ReleaseReportFont(HWND hDlg) {
    if (g_hReportFont == nullptr) {
        return;
    }
    SendDlgItemMessageA(hDlg, kIdReportText, WM_SETFONT, reinterpret_cast<WPARAM>(g_hTemplateFont),
                        FALSE);
    DeleteObject(g_hReportFont);
    g_hReportFont = nullptr;
    g_hTemplateFont = nullptr;
}

}  // namespace

INT_PTR CALLBACK ExtendedDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (nMessage) {
        case WM_INITDIALOG: {
            SetReportFont(hDlg);
            // The edit control takes about 32 000 characters unless told otherwise, a few
            // Checks' worth; 0 lifts the limit to what memory holds, so the report is never cut
            // at that size (AppendReport still checks every text it adds).
            SendDlgItemMessageA(hDlg, kIdReportText, EM_SETLIMITTEXT, 0, 0);
            HICON hIcon = LoadIconA(static_cast<HINSTANCE>(g_App.hInstance), "ARM");
            SetClassLongPtrA(hDlg, GCLP_HICON, reinterpret_cast<LONG_PTR>(hIcon));
            g_ExtendedSurface.hDlg = hDlg;
            g_App.hDialog.store(&g_ExtendedSurface);
            ExtendedInitDialog();
            // FALSE: the dialog manager does not set the keyboard focus itself.
            return FALSE;
        }
        case WM_COMMAND: {
            int nId = LOWORD(wParam);
            if (nId == kIdCancel) {
                // Close, Escape and the close box.
                g_App.hDialog.store(nullptr);
                EndDialog(hDlg, 0);
                return TRUE;
            }
            // Check and Save run here, on this thread; the dialog waits for them.
            ExtendedCommand(nId);
            return FALSE;
        }
        case WM_DESTROY:
            g_App.hDialog.store(nullptr);
            ReleaseReportFont(hDlg);
            return FALSE;
        default:
            return FALSE;
    }
}
