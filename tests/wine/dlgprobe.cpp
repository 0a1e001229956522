// dlgprobe: what a user sees in a dialog, for the end-to-end runs under Wine.
//   dlgprobe CAPTION            finds the top-level window with that caption (in any process)
//                               and prints one line per control: "<id> <shown 0|1> <enabled 0|1>
//                               <text>". Exits 0 when the window was found, 1 otherwise.
//   dlgprobe --show EXE NAME    shows the dialog template NAME of the program EXE as it stands,
//                               until Escape or Enter; for the templates that no run mode of this
//                               version opens.
//   dlgprobe --lines CAPTION ID prints every line of the edit control ID as the control breaks
//                               its text, one per output line, bytes as they are.
//   dlgprobe --append CAPTION ID TEXT
//                               adds TEXT and CR LF at the end of the edit control ID, as the
//                               program appends to it.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

BOOL CALLBACK PrintControl(HWND hControl, LPARAM) {
    char szText[1024];
    szText[0] = '\0';
    DWORD_PTR nResult = 0;
    // WM_GETTEXT is carried across processes for the system's controls; the time-out keeps a
    // busy dialog from holding the probe.
    if (SendMessageTimeoutA(hControl, WM_GETTEXT, sizeof szText, reinterpret_cast<LPARAM>(szText),
                            SMTO_ABORTIFHUNG, 2000, &nResult) == 0) {
        snprintf(szText, sizeof szText, "%s", "<no answer>");
    }
    szText[sizeof szText - 1] = '\0';
    // One line per control: line ends inside a text are shown as \n.
    char szLine[2048];
    size_t nOut = 0;
    for (const char* p = szText; *p != '\0' && nOut + 3 < sizeof szLine; ++p) {
        if (*p == '\r') {
            continue;
        }
        if (*p == '\n') {
            szLine[nOut++] = '\\';
            szLine[nOut++] = 'n';
        } else {
            szLine[nOut++] = *p;
        }
    }
    szLine[nOut] = '\0';
    LONG nStyle = GetWindowLongA(hControl, GWL_STYLE);
    printf("%d %d %d %s\n", GetDlgCtrlID(hControl), (nStyle & WS_VISIBLE) != 0 ? 1 : 0,
           IsWindowEnabled(hControl) ? 1 : 0, szLine);
    return TRUE;
}

INT_PTR CALLBACK ShowProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM) {
    if (nMessage == WM_INITDIALOG) {
        return TRUE;
    }
    if (nMessage == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hDlg, 0);
        return TRUE;
    }
    return FALSE;
}

int ShowTemplate(const char* szExe, const char* szName) {
    HMODULE hModule = LoadLibraryExA(szExe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (hModule == nullptr) {
        fprintf(stderr, "dlgprobe: cannot load %s\n", szExe);
        return 1;
    }
    INT_PTR nResult = DialogBoxParamA(hModule, szName, nullptr, ShowProc, 0);
    FreeLibrary(hModule);
    if (nResult == -1) {
        fprintf(stderr, "dlgprobe: no dialog %s in %s\n", szName, szExe);
        return 1;
    }
    return 0;
}

HWND FindControl(const char* szCaption, const char* szId) {
    HWND hDialog = FindWindowA(nullptr, szCaption);
    return hDialog != nullptr ? GetDlgItem(hDialog, atoi(szId)) : nullptr;
}

// The lines as the control breaks them (EM_LINEINDEX, EM_LINELENGTH) cut from its whole text:
// a cross-process EM_GETLINE under Wine gives at most 52 characters of a line.
int PrintLines(HWND hEdit) {
    LRESULT nLength = SendMessageA(hEdit, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(nLength) + 1, '\0');
    nLength = SendMessageA(hEdit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(nLength));
    LRESULT nLines = SendMessageA(hEdit, EM_GETLINECOUNT, 0, 0);
    // The bytes as the control gives them: no CR added before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    for (LRESULT nLine = 0; nLine < nLines; ++nLine) {
        LRESULT nIndex = SendMessageA(hEdit, EM_LINEINDEX, static_cast<WPARAM>(nLine), 0);
        LRESULT nChars = SendMessageA(hEdit, EM_LINELENGTH, static_cast<WPARAM>(nIndex), 0);
        if (nIndex >= 0 && nIndex + nChars <= nLength) {
            fwrite(text.data() + nIndex, 1, static_cast<size_t>(nChars), stdout);
        }
        fputc('\n', stdout);
    }
    return 0;
}

int AppendLine(HWND hEdit, const char* szText) {
    std::string text = std::string(szText) + "\r\n";
    LRESULT nLength = SendMessageA(hEdit, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(hEdit, EM_SETSEL, static_cast<WPARAM>(nLength), nLength);
    SendMessageA(hEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--show") == 0) {
        return ShowTemplate(argv[2], argv[3]);
    }
    if ((argc == 4 && strcmp(argv[1], "--lines") == 0) ||
        (argc == 5 && strcmp(argv[1], "--append") == 0)) {
        HWND hEdit = FindControl(argv[2], argv[3]);
        if (hEdit == nullptr) {
            return 1;
        }
        return argc == 4 ? PrintLines(hEdit) : AppendLine(hEdit, argv[4]);
    }
    if (argc != 2) {
        fprintf(stderr,
                "usage: dlgprobe CAPTION | dlgprobe --show EXE TEMPLATE | dlgprobe --lines "
                "CAPTION ID | dlgprobe --append CAPTION ID TEXT\n");
        return 2;
    }
    HWND hDialog = FindWindowA(nullptr, argv[1]);
    if (hDialog == nullptr) {
        return 1;
    }
    EnumChildWindows(hDialog, PrintControl, 0);
    return 0;
}
