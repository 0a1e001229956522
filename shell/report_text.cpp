// The report as lines: a line ends at CR LF or at a lone LF; a CR elsewhere stays in its line.
#include "shell/report_text.h"

#include <cstring>

void ReportText::Append(const char* szText) {
    for (const char* p = szText; *p != '\0'; ++p) {
        if (*p != '\n') {
            lines.back() += *p;
            continue;
        }
        // A CR just before the LF belongs to the line end, not to the line.
        if (!lines.back().empty() && lines.back().back() == '\r') {
            lines.back().pop_back();
        }
        lines.emplace_back();
    }
}

const std::string& ReportText::Line(uint32_t nLine) const {
    static const std::string kNone;
    return nLine < lines.size() ? lines[nLine] : kNone;
}

uint32_t ReportText::CopyLine(uint32_t nLine, char* pBuffer, uint32_t nMax) const {
    const std::string& line = Line(nLine);
    uint32_t nCount = line.size() < nMax ? static_cast<uint32_t>(line.size()) : nMax;
    memcpy(pBuffer, line.data(), nCount);
    pBuffer[nCount] = '\0';
    return nCount;
}
