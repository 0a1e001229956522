// The log file's side of the platform: cutting a failed entry back, the room an entry needs on
// the disk, the lock that keeps two runs' entries apart, and the folder for unsaved entries.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/win32/win32_platform.h"

namespace {

// The lock is one byte far beyond the end of any log: locks on Windows bar other openings
// from the bytes they cover, and the entry's write and the cut go through openings of their own.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

}  // namespace

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

// The free space of the log's folder for this user; Windows sets no file size limit.
bool Win32LogRoom(const char* szPath, int64_t, int64_t nBytes, int* pnError) {
    char szDir[MAX_PATH];
    snprintf(szDir, sizeof szDir, "%s", szPath);
    char* pSlash = strrchr(szDir, '\\');
    char* pOther = strrchr(szDir, '/');
    if (pOther != nullptr && (pSlash == nullptr || pOther > pSlash)) {
        pSlash = pOther;
    }
    if (pSlash == nullptr) {
        return true;  // the current folder, which the open has just written
    }
    pSlash[1] = '\0';
    ULARGE_INTEGER nFree;
    if (GetDiskFreeSpaceExA(szDir, &nFree, nullptr, nullptr) != 0 &&
        nFree.QuadPart < static_cast<ULONGLONG>(nBytes)) {
        *pnError = ENOSPC;
        return false;
    }
    return true;
}

void* Win32LockLog(const char* szPath) {
    const DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE hFile = CreateFileA(szPath, GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        hFile = CreateFileA(szPath, GENERIC_WRITE, kShare, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);  // a log that may only be written
    }
    if (hFile == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    OVERLAPPED at;
    memset(&at, 0, sizeof at);
    at.OffsetHigh = kLockOffsetHigh;
    if (LockFileEx(hFile, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) == 0) {
        CloseHandle(hFile);
        return nullptr;
    }
    return hFile;
}

void Win32UnlockLog(void* hLock) {
    OVERLAPPED at;
    memset(&at, 0, sizeof at);
    at.OffsetHigh = kLockOffsetHigh;
    UnlockFileEx(hLock, 0, 1, 0, &at);
    CloseHandle(hLock);
}

// %LOCALAPPDATA%\ArmLink\, made when missing.
bool Win32StateDir(char* szDir, size_t cchDir) {
    char szBase[MAX_PATH];
    DWORD nLength = GetEnvironmentVariableA("LOCALAPPDATA", szBase, sizeof szBase);
    if (nLength == 0 || nLength >= sizeof szBase) {
        return false;
    }
    int nWritten = snprintf(szDir, cchDir, "%s\\ArmLink\\", szBase);
    if (nWritten <= 0 || static_cast<size_t>(nWritten) >= cchDir) {
        return false;
    }
    szDir[nWritten - 1] = '\0';
    CreateDirectoryA(szDir, nullptr);
    DWORD dwAttributes = GetFileAttributesA(szDir);
    szDir[nWritten - 1] = '\\';
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}
