// The dialog surface on Win32: control writes into the open dialog as window messages, sent
// from any thread and handled on the dialog's own thread before the call returns; the report
// as the edit control's text; the save prompt and the message box of the extended display.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

#include "common/app_state.h"
#include "platform/win32/win32_platform.h"

void Win32DialogSurface::SetItemText(int nId, const char* szText) {
    SendDlgItemMessageA(hDlg, nId, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(szText));
}

void Win32DialogSurface::ShowItem(int nId) {
    ShowWindow(GetDlgItem(hDlg, nId), SW_SHOW);
}

void Win32DialogSurface::EnableItem(int nId, bool bEnable) {
    EnableWindow(GetDlgItem(hDlg, nId), bEnable ? TRUE : FALSE);
}

// One append group: select the start of the last line to one past it (the empty selection at
// the very end, since every text ends with a line end), replace the selection with each text
// without undo, then scroll the caret into view. The edit control breaks lines only at CR LF,
// so a lone LF of a decoded record becomes CR LF as the text enters the control: every decoded
// line then shows, and is saved, as a line of its own. A replacement that the control cuts
// short (its text limit, or no memory left) shows in the text length, which is checked.
bool Win32DialogSurface::AppendReport(const char* const* pTexts, size_t nTexts) {
    HWND hEdit = GetDlgItem(hDlg, nReportId);
    if (hEdit == nullptr) {
        return false;
    }
    bool bWhole = true;
    LRESULT nLines = SendMessageA(hEdit, EM_GETLINECOUNT, 0, 0);
    LRESULT nStart = SendMessageA(hEdit, EM_LINEINDEX, static_cast<WPARAM>(nLines - 1), 0);
    SendMessageA(hEdit, EM_SETSEL, static_cast<WPARAM>(nStart), static_cast<LPARAM>(nStart + 1));
    for (size_t i = 0; i < nTexts; ++i) {
        std::string text;
        for (const char* p = pTexts[i]; *p != '\0'; ++p) {
            if (*p == '\n' && (p == pTexts[i] || p[-1] != '\r')) {
                text += '\r';
            }
            text += *p;
        }
        DWORD dwSelStart = 0;
        DWORD dwSelEnd = 0;
        SendMessageA(hEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&dwSelStart),
                     reinterpret_cast<LPARAM>(&dwSelEnd));
        LRESULT nBefore = SendMessageA(hEdit, WM_GETTEXTLENGTH, 0, 0);
        SendMessageA(hEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
        LRESULT nAfter = SendMessageA(hEdit, WM_GETTEXTLENGTH, 0, 0);
        LRESULT nExpected = nBefore - static_cast<LRESULT>(dwSelEnd - dwSelStart) +
                            static_cast<LRESULT>(text.size());
        if (nAfter != nExpected) {
            bWhole = false;
        }
    }
    SendMessageA(hEdit, EM_SCROLLCARET, 0, 0);
    return bWhole;
}

uint32_t Win32DialogSurface::ReportLineCount() {
    return static_cast<uint32_t>(SendDlgItemMessageA(hDlg, nReportId, EM_GETLINECOUNT, 0, 0));
}

// EM_GETLINE takes the most characters to copy in the buffer's first 16-bit word and does not
// terminate what it copies; pBuffer holds nMax + 1 bytes, room for that word from nMax 1 on.
uint32_t Win32DialogSurface::ReportLine(uint32_t nLine, char* pBuffer, uint32_t nMax) {
    if (nMax == 0) {
        pBuffer[0] = '\0';
        return 0;
    }
    memset(pBuffer, 0, nMax + 1);
    WORD nCount = static_cast<WORD>(nMax > 0xFFFF ? 0xFFFF : nMax);
    memcpy(pBuffer, &nCount, sizeof nCount);
    LRESULT nCopied = SendDlgItemMessageA(hDlg, nReportId, EM_GETLINE, static_cast<WPARAM>(nLine),
                                          reinterpret_cast<LPARAM>(pBuffer));
    if (nCopied < 0 || static_cast<uint32_t>(nCopied) > nMax) {
        nCopied = 0;
    }
    // A line shorter than the count word leaves that word's bytes behind: they go.
    memset(pBuffer + nCopied, 0, nMax + 1 - static_cast<uint32_t>(nCopied));
    return static_cast<uint32_t>(nCopied);
}

bool Win32DialogSurface::AskSaveFileName(char* szPath, uint32_t cchPath) {
    char szCustomFilter[256];
    memset(szCustomFilter, 0, sizeof szCustomFilter);
    // The dialog takes a file name of at most 512 characters: a stored path that long or longer
    // is not proposed, rather than failing the dialog.
    constexpr uint32_t kMaxFileChars = 512;
    uint32_t nMaxFile = cchPath < kMaxFileChars ? cchPath : kMaxFileChars;
    if (strnlen(szPath, cchPath) >= nMaxFile) {
        memset(szPath, 0, cchPath);
    }
    std::string initialDir = szPath;
    OPENFILENAMEA ofn;
    memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hDlg;
    ofn.lpstrFilter = "Txt Files(*.txt)\0*.txt\0All Files(*.*)\0*.*\0";
    ofn.lpstrCustomFilter = szCustomFilter;
    ofn.nMaxCustFilter = sizeof szCustomFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = szPath;
    ofn.nMaxFile = nMaxFile;
    ofn.lpstrFileTitle = nullptr;
    ofn.lpstrInitialDir = initialDir.c_str();
    ofn.lpstrTitle = "Save Error Log";
    ofn.Flags = OFN_HIDEREADONLY;
    ofn.lpstrDefExt = "txt";
    return GetSaveFileNameA(&ofn) != FALSE;
}

void Win32DialogSurface::ShowMessage(const char* szText, const char* szCaption) {
    MessageBoxA(hDlg, szText, szCaption, MB_OK);
}

// The dialogs keep their templates: no line for progress on this side.
void Win32DialogSurface::ShowProgress(const char*) {}

namespace {

// Reported from the worker's thread as well as the dialog's; read once all have ended.
std::atomic<int32_t> g_nRunOutcome(kOutcomeNone);

}  // namespace

RunOutcome Win32RunOutcome() {
    return static_cast<RunOutcome>(g_nRunOutcome.load());
}

// The program shows what the dialog shows; the outcome is kept for the exit status and the
// tests.
void Win32DialogSurface::ReportOutcome(RunOutcome outcome, const char*) {
    lastOutcome = NextOutcome(lastOutcome, outcome);
    g_nRunOutcome.store(lastOutcome);
}

// A message box copies its whole text with Ctrl+C: the technician takes the entry from there.
void Win32DialogSurface::ShowUnloggedEntry(const char* szEntry) {
    MessageBoxA(hDlg, szEntry, "Log Not Written", MB_OK | MB_ICONWARNING);
}

void Win32DialogSurface::ReportPortFailure(unsigned, const char*, const char*) {}

// STATS_DLG shows each sample in its controls as it comes, from the texts the worker wrote; it
// draws no plot of the rate, so the end of a poll and the sample's numbers add nothing to it.
void Win32DialogSurface::PollDone(const PollSample&) {}
