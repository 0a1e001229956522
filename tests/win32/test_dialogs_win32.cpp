// The compiled resources against the program's tables (the three dialog templates control by
// control, the menu, the icon "ARM"), and StatusDlgProc with the dialog surface on a real dialog.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/app_state.h"
#include "platform/win32/win32_platform.h"

namespace {

constexpr WORD kButton = 0x0080;
constexpr WORD kEdit = 0x0081;
constexpr WORD kStatic = 0x0082;
constexpr DWORD kShown = WS_CHILD | WS_VISIBLE;
constexpr DWORD kHidden = WS_CHILD;

struct Control {
    WORD nId;
    WORD nClass;
    const char* szText;
    short x, y, cx, cy;
    DWORD dwStyle;
};

struct Dialog {
    const char* szName;
    const char* szCaption;
    DWORD dwStyle;
    short cx, cy;
    std::vector<Control> controls;
};

// A DIALOG template as the resource compiler laid it out.
struct ParsedDialog {
    DWORD dwStyle = 0;
    DWORD dwExStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD nMenu = 0xFFFF;   // 0: no menu
    WORD nClass = 0xFFFF;  // 0: the standard dialog class
    std::string caption;
    WORD nPointSize = 0;
    std::string font;
    std::vector<Control> controls;
    std::vector<std::string> texts;
    std::vector<DWORD> exStyles;
};

std::string ReadWide(const WORD** ppWord) {
    std::string text;
    const WORD* p = *ppWord;
    while (*p != 0) {
        text.push_back(static_cast<char>(*p));
        ++p;
    }
    *ppWord = p + 1;
    return text;
}

const WORD* AlignDword(const WORD* p) {
    uintptr_t n = reinterpret_cast<uintptr_t>(p);
    return reinterpret_cast<const WORD*>((n + 3) & ~static_cast<uintptr_t>(3));
}

bool LoadTemplate(const char* szName, ParsedDialog* pDialog) {
    HMODULE hModule = GetModuleHandleA(nullptr);
    HRSRC hResource = FindResourceA(hModule, szName, MAKEINTRESOURCEA(5));  // RT_DIALOG
    if (hResource == nullptr) {
        return false;
    }
    const BYTE* pData = static_cast<const BYTE*>(LockResource(LoadResource(hModule, hResource)));
    const DLGTEMPLATE* pTemplate = reinterpret_cast<const DLGTEMPLATE*>(pData);
    pDialog->dwStyle = pTemplate->style;
    pDialog->dwExStyle = pTemplate->dwExtendedStyle;
    pDialog->x = pTemplate->x;
    pDialog->y = pTemplate->y;
    pDialog->cx = pTemplate->cx;
    pDialog->cy = pTemplate->cy;
    const WORD* p = reinterpret_cast<const WORD*>(pTemplate + 1);
    pDialog->nMenu = *p++;  // a named or numbered menu would follow; none is expected
    pDialog->nClass = *p++;
    pDialog->caption = ReadWide(&p);
    if ((pTemplate->style & DS_SETFONT) != 0) {
        pDialog->nPointSize = *p++;
        pDialog->font = ReadWide(&p);
    }
    for (WORD i = 0; i < pTemplate->cdit; ++i) {
        p = AlignDword(p);
        const DLGITEMTEMPLATE* pItem = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        Control control;
        control.nId = pItem->id;
        control.x = pItem->x;
        control.y = pItem->y;
        control.cx = pItem->cx;
        control.cy = pItem->cy;
        control.dwStyle = pItem->style;
        pDialog->exStyles.push_back(pItem->dwExtendedStyle);
        p = reinterpret_cast<const WORD*>(pItem + 1);
        if (*p == 0xFFFF) {
            control.nClass = p[1];
            p += 2;
        } else {
            // A class given by name (as windres writes it) stands for the same system class
            // as its ordinal (as other resource compilers write it).
            std::string name = ReadWide(&p);
            control.nClass = 0;
            if (lstrcmpiA(name.c_str(), "Button") == 0) {
                control.nClass = kButton;
            } else if (lstrcmpiA(name.c_str(), "Edit") == 0) {
                control.nClass = kEdit;
            } else if (lstrcmpiA(name.c_str(), "Static") == 0) {
                control.nClass = kStatic;
            }
        }
        if (*p == 0xFFFF) {
            pDialog->texts.push_back("#ordinal");
            p += 2;
        } else {
            pDialog->texts.push_back(ReadWide(&p));
        }
        WORD nExtra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + nExtra);
        control.szText = nullptr;
        pDialog->controls.push_back(control);
    }
    return true;
}

Control Label(const char* szText, short y) {
    return {65535, kStatic, szText, 5, y, 70, 8, kShown | SS_RIGHT | WS_GROUP};
}
Control Value(WORD nId, short x, short y, short cx = 53) {
    return {nId, kStatic, "0", x, y, cx, 8, kShown | SS_CENTER | WS_GROUP};
}

std::vector<Dialog> ExpectedDialogs() {
    std::vector<Dialog> dialogs;
    dialogs.push_back(
        {"VOLUME_DLG",
         "ZOLM Log",
         WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
         143,
         73,
         {
             {1028, kStatic, " ", 29, 7, 86, 8, kShown | SS_CENTER | WS_GROUP},
             {1, kButton, "Cancel", 46, 53, 50, 14, kShown | BS_PUSHBUTTON | WS_TABSTOP},
             {1031, kStatic, "Log Saved In:", 4, 21, 42, 8, kHidden | SS_LEFT | WS_GROUP},
             {1030, kEdit, "", 4, 33, 135, 14,
              kHidden | ES_LEFT | WS_BORDER | ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP},
         }});
    dialogs.push_back(
        {"STATS_DLG",
         "Statistics",
         DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU,
         204,
         242,
         {
             {1, kButton, "Cancel", 77, 220, 50, 14, kShown | BS_DEFPUSHBUTTON | WS_TABSTOP},
             {1028, kStatic, " ", 7, 7, 190, 8, kShown | SS_CENTER | WS_GROUP},
             Label("CAPTURES:", 41),
             Label("ASYNC. CAPTURES:", 52),
             Label("CRC ERRORS:", 63),
             Label("STALL COUNT:", 74),
             Label("RETRY COUNT:", 85),
             Label("BOUNCES > 16ms:", 96),
             Label("SDA/SCL ERRORS:", 107),
             Label("ADDRESS ERRORS:", 118),
             Label("POINTS/SECOND:", 133),
             Value(1032, 80, 41),
             Value(1033, 80, 52),
             Value(1034, 80, 63),
             Value(1035, 80, 74),
             Value(1036, 80, 85),
             Value(1037, 80, 96),
             Value(1038, 80, 107),
             Value(1039, 80, 118),
             Value(1040, 80, 133),
             Value(1041, 76, 201),
             {65535, kButton, "ERRORS LOGGED", 36, 174, 132, 40, kShown | BS_GROUPBOX},
             {65535, kStatic, "Error:", 44, 186, 18, 8, kShown | SS_LEFT | WS_GROUP},
             {65535, kStatic, "Ext:", 104, 186, 18, 8, kShown | SS_LEFT | WS_GROUP},
             Value(1042, 68, 186, 29),
             Value(1043, 129, 186, 29),
             Value(1044, 142, 41),
             Value(1045, 142, 52),
             Value(1046, 142, 63),
             Value(1047, 142, 74),
             Value(1048, 142, 85),
             Value(1049, 142, 96),
             Value(1050, 142, 107),
             Value(1051, 142, 118),
             {65535, kStatic, "Current", 80, 26, 53, 8, kShown | SS_CENTER},
             {65535, kStatic, "Change", 142, 26, 53, 8, kShown | SS_CENTER},
             Label("MIN:", 145),
             Value(1052, 80, 144),
             Label("MAX:", 157),
             Value(1053, 80, 155),
         }});
    dialogs.push_back(
        {"ERROR_DISPLAY_DLG",
         "Extended Error Display",
         DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU,
         480,
         431,
         {
             {1, kButton, "&Check", 417, 34, 50, 14, kShown | BS_DEFPUSHBUTTON | WS_TABSTOP},
             {2, kButton, "&Close", 417, 72, 50, 14, kShown | BS_PUSHBUTTON | WS_TABSTOP},
             {1053, kEdit, "", 7, 20, 401, 408,
              kShown | ES_LEFT | ES_MULTILINE | ES_READONLY | WS_BORDER | WS_VSCROLL | WS_HSCROLL |
                  ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_TABSTOP},
             {1028, kStatic, "Error Display", 7, 7, 401, 8, kShown | SS_CENTER | WS_GROUP},
             {1054, kButton, "&Save", 417, 53, 50, 14, kShown | BS_PUSHBUTTON | WS_TABSTOP},
         }});
    return dialogs;
}

TEST(Win32Resources, DialogTemplatesMatchTheirTablesControlByControl) {
    for (const Dialog& expected : ExpectedDialogs()) {
        SCOPED_TRACE(expected.szName);
        ParsedDialog parsed;
        ASSERT_TRUE(LoadTemplate(expected.szName, &parsed));
        EXPECT_EQ(parsed.dwStyle, expected.dwStyle | DS_SETFONT);
        EXPECT_EQ(parsed.dwExStyle, 0u);
        EXPECT_EQ(parsed.x, 0);
        EXPECT_EQ(parsed.y, 0);
        EXPECT_EQ(parsed.cx, expected.cx);
        EXPECT_EQ(parsed.cy, expected.cy);
        EXPECT_EQ(parsed.nMenu, 0) << "no menu";
        EXPECT_EQ(parsed.nClass, 0) << "the standard dialog class";
        EXPECT_EQ(parsed.caption, expected.szCaption);
        EXPECT_EQ(parsed.nPointSize, 8);
        EXPECT_EQ(parsed.font, "MS Sans Serif");
        ASSERT_EQ(parsed.controls.size(), expected.controls.size());
        for (size_t i = 0; i < expected.controls.size(); ++i) {
            const Control& want = expected.controls[i];
            const Control& got = parsed.controls[i];
            SCOPED_TRACE(testing::Message() << "control " << i << " \"" << want.szText << "\"");
            EXPECT_EQ(got.nId, want.nId);
            EXPECT_EQ(got.nClass, want.nClass);
            EXPECT_EQ(parsed.texts[i], want.szText);
            EXPECT_EQ(got.x, want.x);
            EXPECT_EQ(got.y, want.y);
            EXPECT_EQ(got.cx, want.cx);
            EXPECT_EQ(got.cy, want.cy);
            EXPECT_EQ(got.dwStyle, want.dwStyle) << std::hex << got.dwStyle << " " << want.dwStyle;
            EXPECT_EQ(parsed.exStyles[i], 0u);
        }
    }
}

TEST(Win32Resources, MenuHasFileExit) {
    HMENU hMenu = LoadMenuA(GetModuleHandleA(nullptr), "ExampleMenu");
    ASSERT_NE(hMenu, nullptr);
    ASSERT_EQ(GetMenuItemCount(hMenu), 1);
    char szText[32];
    GetMenuStringA(hMenu, 0, szText, sizeof szText, MF_BYPOSITION);
    EXPECT_STREQ(szText, "&File");
    HMENU hFile = GetSubMenu(hMenu, 0);
    ASSERT_NE(hFile, nullptr);
    ASSERT_EQ(GetMenuItemCount(hFile), 1);
    EXPECT_EQ(GetMenuItemID(hFile, 0), 40001u);
    GetMenuStringA(hFile, 0, szText, sizeof szText, MF_BYPOSITION);
    EXPECT_STREQ(szText, "E&xit");
    DestroyMenu(hMenu);
}

TEST(Win32Resources, IconArmIsOne32x32ImageIn16Colours) {
    HMODULE hModule = GetModuleHandleA(nullptr);
    HRSRC hGroup = FindResourceA(hModule, "ARM", MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_NE(hGroup, nullptr);
    const BYTE* pGroup = static_cast<const BYTE*>(LockResource(LoadResource(hModule, hGroup)));
    ASSERT_EQ(SizeofResource(hModule, hGroup), 20u);
    const WORD* pHeader = reinterpret_cast<const WORD*>(pGroup);
    EXPECT_EQ(pHeader[0], 0);  // reserved
    EXPECT_EQ(pHeader[1], 1);  // icon
    ASSERT_EQ(pHeader[2], 1);  // one image
    const BYTE* pEntry = pGroup + 6;
    EXPECT_EQ(pEntry[0], 32);  // width
    EXPECT_EQ(pEntry[1], 32);  // height
    EXPECT_EQ(pEntry[2], 16);  // colours
    WORD nBitCount;
    memcpy(&nBitCount, pEntry + 6, sizeof nBitCount);
    EXPECT_EQ(nBitCount, 4);

    int nImageId = LookupIconIdFromDirectoryEx(const_cast<BYTE*>(pGroup), TRUE, 32, 32, 0);
    ASSERT_NE(nImageId, 0);
    HRSRC hImage = FindResourceA(hModule, MAKEINTRESOURCEA(nImageId), MAKEINTRESOURCEA(3));
    ASSERT_NE(hImage, nullptr);
    BYTE* pImage = static_cast<BYTE*>(LockResource(LoadResource(hModule, hImage)));
    DWORD dwSize = SizeofResource(hModule, hImage);
    BITMAPINFOHEADER header;
    memcpy(&header, pImage, sizeof header);
    EXPECT_EQ(header.biWidth, 32);
    EXPECT_EQ(header.biHeight, 64) << "colour bits and mask";
    EXPECT_EQ(header.biBitCount, 4);
    // header, 16 palette entries, 4-bit colour rows, 1-bit mask rows
    EXPECT_EQ(dwSize, 40u + 16 * 4 + 32 * 16 + 32 * 4);

    HICON hIcon = CreateIconFromResourceEx(pImage, dwSize, TRUE, 0x00030000, 32, 32, 0);
    ASSERT_NE(hIcon, nullptr) << "the system takes the image as an icon";
    DestroyIcon(hIcon);
    EXPECT_NE(LoadIconA(hModule, "ARM"), nullptr);
}

// Writes a status text from another thread while this one pumps the dialog's messages, as
// the search worker writes into the open dialog.
struct WorkerWrite {
    const char* szText;
};

DWORD WINAPI WriteFromWorker(LPVOID pArg) {
    SetDialogItemText(kIdStatusText, static_cast<WorkerWrite*>(pArg)->szText);
    ShowDialogItem(kIdLogPathText);
    EnableDialogItem(kIdButton, false);
    return 0;
}

void PumpUntilEnded(HANDLE hThread) {
    for (;;) {
        DWORD dwWake = MsgWaitForMultipleObjects(1, &hThread, FALSE, 5000, QS_ALLINPUT);
        if (dwWake != WAIT_OBJECT_0 + 1) {
            return;
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

std::string ItemText(HWND hDlg, int nId) {
    char szText[256];
    GetDlgItemTextA(hDlg, nId, szText, sizeof szText);
    return szText;
}

TEST(Win32StatusDialog, PublishesItselfShowsSearchingAndTakesWritesFromWorkers) {
    ResetAppState();
    g_App.hInstance = GetModuleHandleA(nullptr);
    ASSERT_EQ(g_App.hDialog.load(), nullptr);
    HWND hDlg =
        CreateDialogParamA(GetModuleHandleA(nullptr), "VOLUME_DLG", nullptr, StatusDlgProc, 0);
    ASSERT_NE(hDlg, nullptr) << "no window could be made: does Wine have a display?";
    EXPECT_NE(g_App.hDialog.load(), nullptr);
    EXPECT_EQ(ItemText(hDlg, kIdStatusText), "Searching");
    EXPECT_EQ(GetClassLongPtrA(hDlg, GCLP_HICON),
              reinterpret_cast<LONG_PTR>(LoadIconA(GetModuleHandleA(nullptr), "ARM")));

    HWND hPath = GetDlgItem(hDlg, kIdLogPathText);
    EXPECT_EQ(GetWindowLongA(hPath, GWL_STYLE) & WS_VISIBLE, 0);
    WorkerWrite write = {"COM2: 19200 n 8 1"};
    HANDLE hThread = CreateThread(nullptr, 0, WriteFromWorker, &write, 0, nullptr);
    ASSERT_NE(hThread, nullptr);
    PumpUntilEnded(hThread);
    EXPECT_EQ(WaitForSingleObject(hThread, 0), WAIT_OBJECT_0);
    CloseHandle(hThread);
    EXPECT_EQ(ItemText(hDlg, kIdStatusText), "COM2: 19200 n 8 1");
    EXPECT_NE(GetWindowLongA(hPath, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hDlg, kIdButton)));

    // Other commands leave the dialog open.
    EXPECT_EQ(StatusDlgProc(hDlg, WM_COMMAND, 1030, 0), FALSE);
    EXPECT_NE(g_App.hDialog.load(), nullptr);
    DestroyWindow(hDlg);
    EXPECT_EQ(g_App.hDialog.load(), nullptr) << "WM_DESTROY takes hDialog back";
}

TEST(Win32StatusDialog, ButtonAndCancelEndTheDialogAfterTakingHDialogBack) {
    for (WPARAM nCommand : {static_cast<WPARAM>(1), static_cast<WPARAM>(2)}) {
        ResetAppState();
        g_App.hInstance = GetModuleHandleA(nullptr);
        HWND hDlg =
            CreateDialogParamA(GetModuleHandleA(nullptr), "STATS_DLG", nullptr, StatusDlgProc, 0);
        ASSERT_NE(hDlg, nullptr);
        ASSERT_NE(g_App.hDialog.load(), nullptr);
        EXPECT_EQ(StatusDlgProc(hDlg, WM_COMMAND, MAKEWPARAM(nCommand, BN_CLICKED), 0), TRUE);
        EXPECT_EQ(g_App.hDialog.load(), nullptr);
        DestroyWindow(hDlg);
    }
}

}  // namespace
