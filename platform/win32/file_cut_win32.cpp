// Cutting a file back to an earlier size, for the log entry that did not reach the file whole.
#include <windows.h>

#include "platform/win32/win32_platform.h"

// The file is opened once and measured and cut through that one handle, so the file cut is the
// file measured. A device (NUL, a COM port) has no length to cut back.
bool Win32CutFile(const char* szPath, int64_t nSize) {
    if (szPath == nullptr || nSize < 0) {
        return false;
    }
    HANDLE hFile = CreateFileA(szPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER nLength;
    bool bDone = GetFileType(hFile) == FILE_TYPE_DISK && GetFileSizeEx(hFile, &nLength) != 0;
    if (bDone && nLength.QuadPart > nSize) {
        LARGE_INTEGER nAt;
        nAt.QuadPart = nSize;
        bDone = SetFilePointerEx(hFile, nAt, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(hFile) != 0;
    }
    CloseHandle(hFile);
    return bDone;
}
