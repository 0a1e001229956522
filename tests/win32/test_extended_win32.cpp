// ExtendedDlgProc on the real ERROR_DISPLAY_DLG template, and the report as the edit control
// holds it: the same lines as the portable report model, the 127-character read, and room for
// more than the control's default text limit.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/app_state.h"
#include "platform/win32/win32_platform.h"
#include "protocol/error_decoder.h"
#include "shell/report_text.h"

namespace {

HWND OpenExtendedDialog() {
    ResetAppState();
    g_Platform.pClock = Win32Clock();
    g_App.hInstance = GetModuleHandleA(nullptr);
    return CreateDialogParamA(GetModuleHandleA(nullptr), "ERROR_DISPLAY_DLG", nullptr,
                              ExtendedDlgProc, 0);
}

std::string ItemText(HWND hDlg, int nId) {
    char szText[256];
    GetDlgItemTextA(hDlg, nId, szText, sizeof szText);
    return szText;
}

TEST(Win32ExtendedDialog, InitGivesTheReportItsFontAndRoomAndDisablesTheButtons) {
    HWND hDlg = OpenExtendedDialog();
    ASSERT_NE(hDlg, nullptr) << "no window could be made: does Wine have a display?";
    EXPECT_NE(g_App.hDialog.load(), nullptr);
    EXPECT_EQ(ItemText(hDlg, kIdStatusText), "Searching");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hDlg, kIdButton)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hDlg, kIdSaveButton)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hDlg, kIdCancel)));
    EXPECT_EQ(GetClassLongPtrA(hDlg, GCLP_HICON),
              reinterpret_cast<LONG_PTR>(LoadIconA(GetModuleHandleA(nullptr), "ARM")));

    HFONT hFont =
        reinterpret_cast<HFONT>(SendDlgItemMessageA(hDlg, kIdReportText, WM_GETFONT, 0, 0));
    HFONT hDialogFont = reinterpret_cast<HFONT>(SendMessageA(hDlg, WM_GETFONT, 0, 0));
    LOGFONTA font;
    LOGFONTA dialogFont;
    ASSERT_NE(GetObjectA(hFont, sizeof font, &font), 0);
    ASSERT_NE(GetObjectA(hDialogFont, sizeof dialogFont, &dialogFont), 0);
    EXPECT_EQ(font.lfHeight, 12);
    EXPECT_EQ(font.lfPitchAndFamily, 1);
    EXPECT_STREQ(font.lfFaceName, "Courier");
    EXPECT_EQ(font.lfWeight, dialogFont.lfWeight) << "every other field is the copied font's";
    EXPECT_EQ(font.lfCharSet, dialogFont.lfCharSet);
    EXPECT_GT(
        static_cast<uint32_t>(SendDlgItemMessageA(hDlg, kIdReportText, EM_GETLIMITTEXT, 0, 0)),
        1000000u)
        << "the report is not held to the default limit";

    // Check without a port: the block says so and the procedure returns 0; Close ends it.
    EXPECT_EQ(ExtendedDlgProc(hDlg, WM_COMMAND, MAKEWPARAM(kIdButton, BN_CLICKED), 0), FALSE);
    EXPECT_EQ(SendDlgItemMessageA(hDlg, kIdReportText, EM_GETLINECOUNT, 0, 0), 4);
    EXPECT_EQ(ExtendedDlgProc(hDlg, WM_COMMAND, MAKEWPARAM(kIdReportText, EN_CHANGE), 0), FALSE);
    EXPECT_EQ(ExtendedDlgProc(hDlg, WM_COMMAND, MAKEWPARAM(kIdCancel, BN_CLICKED), 0), TRUE);
    EXPECT_EQ(g_App.hDialog.load(), nullptr);
    DestroyWindow(hDlg);
    g_Platform = Platform();
}

TEST(Win32ExtendedDialog, ReportHoldsTheSameLinesAsThePortableModelPastTheDefaultLimit) {
    HWND hDlg = OpenExtendedDialog();
    ASSERT_NE(hDlg, nullptr);
    DialogSurface* pSurface = g_App.hDialog.load();
    ASSERT_NE(pSurface, nullptr);
    ReportText model;

    // A decoded record whose lines end with a lone LF, a line longer than 127 characters, and
    // then 400 more lines (about 40 000 characters, past the control's default 32 767).
    char szDecoded[1024] = {};
    ErrorDecoder(ErrorRecord{0x1001A, 0, 0x5030201, 0x4030102, 7, 0, 0}, szDecoded);
    std::vector<std::string> texts = {"#####\r\n", szDecoded, std::string(200, 'x') + "\r\n"};
    for (int n = 0; n < 400; ++n) {
        texts.push_back("CAPTURES       : " + std::to_string(n) + std::string(70, ' ') + "\r\n");
    }
    for (const std::string& text : texts) {
        const char* apText[] = {text.c_str()};
        EXPECT_TRUE(pSurface->AppendReport(apText, 1));
        model.Append(text.c_str());
    }

    ASSERT_EQ(pSurface->ReportLineCount(), model.LineCount());
    for (uint32_t nLine = 0; nLine < model.LineCount(); ++nLine) {
        char szLine[128];
        uint32_t nCopied = pSurface->ReportLine(nLine, szLine, 127);
        std::string expected = model.Line(nLine).substr(0, 127);
        EXPECT_EQ(std::string(szLine), expected) << "line " << nLine;
        EXPECT_EQ(nCopied, expected.size()) << "line " << nLine;
    }

    // A control held to a small limit cuts the text, and the append says so.
    SendDlgItemMessageA(hDlg, kIdReportText, EM_SETLIMITTEXT, 10, 0);
    const char* apMore[] = {"one more line\r\n"};
    EXPECT_FALSE(pSurface->AppendReport(apMore, 1));
    DestroyWindow(hDlg);
    g_Platform = Platform();
}

}  // namespace
