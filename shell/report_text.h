// The extended display's report as a text of lines, as an edit control holds it: appended to at
// the end only, a line ending at CR LF or at a lone LF. The terminal and plain faces and the
// tests keep the report in one.
#ifndef ARMLINK_SHELL_REPORT_TEXT_H
#define ARMLINK_SHELL_REPORT_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class ReportText {
  public:
    ReportText() : lines(1) {}

    // Appends text at the very end.
    void Append(const char* szText);
    // The number of lines; the empty line after a final line end counts, so an empty report
    // has one line.
    uint32_t LineCount() const { return static_cast<uint32_t>(lines.size()); }
    // Line nLine without its line end; "" past the end.
    const std::string& Line(uint32_t nLine) const;
    // Copies at most nMax characters of line nLine into pBuffer and terminates it there
    // (pBuffer holds nMax + 1 bytes); returns the count copied.
    uint32_t CopyLine(uint32_t nLine, char* pBuffer, uint32_t nMax) const;

  private:
    std::vector<std::string> lines;
};

#endif
