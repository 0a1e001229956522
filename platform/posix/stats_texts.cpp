// The texts of STATS_DLG's value controls and their plain-mode lines.
#include "platform/posix/stats_texts.h"

namespace {

// The counters in the dialog's order: the name in the "sample:" line, the current value's
// control and the change's.
struct SampleField {
    const char* szName;
    int nValueId;
    int nChangeId;
};
const SampleField kSampleFields[] = {
    {"captures", IDC_CAPTURES, IDC_CHANGE_CAPTURES},
    {"async", IDC_ASYNC_CAPTURES, IDC_CHANGE_ASYNC_CAPTURES},
    {"crc", IDC_CRC_ERRORS, IDC_CHANGE_CRC_ERRORS},
    {"stall", IDC_STALL_COUNT, IDC_CHANGE_STALL_COUNT},
    {"retry", IDC_RETRY_COUNT, IDC_CHANGE_RETRY_COUNT},
    {"bounces", IDC_BOUNCES, IDC_CHANGE_BOUNCES},
    {"sda_scl", IDC_SDA_SCL_ERRORS, IDC_CHANGE_SDA_SCL_ERRORS},
    {"address", IDC_ADDRESS_ERRORS, IDC_CHANGE_ADDRESS_ERRORS},
};

bool IsValueId(int nId) {
    return nId >= IDC_CAPTURES && nId <= IDC_MAX_POINTS;
}

std::string WithoutLeadingBlanks(const std::string& text) {
    size_t nFirst = text.find_first_not_of(' ');
    return nFirst == std::string::npos ? std::string() : text.substr(nFirst);
}

}  // namespace

void ResetStatsTexts(StatsTexts* pTexts) {
    for (std::string& text : pTexts->texts) {
        text = "0";
    }
    pTexts->bSampleShown = false;
    pTexts->bErrorsShown = false;
}

bool TakeStatsText(StatsTexts* pTexts, int nId, const char* szText) {
    if (!IsValueId(nId)) {
        return false;
    }
    pTexts->texts[nId - IDC_CAPTURES] = szText != nullptr ? szText : "";
    if (nId == IDC_LAST_ERROR || nId == IDC_LAST_EXTENDED) {
        pTexts->bErrorsShown = true;
    } else if (nId != IDC_ERRORS_LOGGED) {
        pTexts->bSampleShown = true;
    }
    return true;
}

const std::string& StatsText(const StatsTexts& texts, int nId) {
    static const std::string kNone;
    return IsValueId(nId) ? texts.texts[nId - IDC_CAPTURES] : kNone;
}

std::string SampleLine(const StatsTexts& texts) {
    std::string line = "sample:";
    for (const SampleField& field : kSampleFields) {
        line += std::string(" ") + field.szName + "=" + StatsText(texts, field.nValueId) + " " +
                StatsText(texts, field.nChangeId);
    }
    line += " rate=" + WithoutLeadingBlanks(StatsText(texts, IDC_POINTS_PER_SECOND));
    line += " min=" + WithoutLeadingBlanks(StatsText(texts, IDC_MIN_POINTS));
    line += " max=" + WithoutLeadingBlanks(StatsText(texts, IDC_MAX_POINTS));
    return line;
}

std::string ErrorsLine(const StatsTexts& texts) {
    return "errors: error=" + StatsText(texts, IDC_LAST_ERROR) +
           " ext=" + StatsText(texts, IDC_LAST_EXTENDED) +
           " logged=" + StatsText(texts, IDC_ERRORS_LOGGED);
}
