// Helpers of the core fixture.
#include "support/core_fixture.h"

#include <cstdio>

std::vector<std::string> TriesOf(const SimLine& line) {
    std::vector<std::string> tries;
    for (const SimCommand& command : line.commands) {
        char szTry[64];
        snprintf(szTry, sizeof szTry, "%u %u%c1 %s", static_cast<unsigned>(command.nBaud),
                 static_cast<unsigned>(command.nDataBits), command.cParity, command.text.c_str());
        tries.push_back(szTry);
    }
    return tries;
}

std::string TestFilePath(const char* szSuffix) {
    static int nCount = 0;
    const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string path = ::testing::TempDir() + "armlink_";
    if (pInfo != nullptr) {
        path += std::string(pInfo->test_suite_name()) + "_" + pInfo->name() + "_";
    }
    return path + std::to_string(nCount++) + szSuffix;
}

std::string FileBytes(const char* szPath) {
    std::string bytes;
    FILE* pFile = fopen(szPath, "rb");
    if (pFile == nullptr) {
        return "<missing>";
    }
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pFile)) > 0) {
        bytes.append(buffer, n);
    }
    fclose(pFile);
    return bytes;
}
