// The interactive face of "/stats": STATS_DLG drawn in the terminal with ncurses as its template
// lays it out, with a plot of the point rate over the recent polls below the table. Esc, Enter
// or q close it; r and the terminal's focus-in report start the search again.
#include <cmath>
#include <cstdlib>
#include <deque>
#include <string>

#include "common/app_state.h"
#include "platform/posix/curses_screen.h"
#include "platform/posix/frontend_stats.h"
#include "platform/posix/stats_texts.h"

namespace {

// Columns: the template's 204 dialog units at four to a column. Rows: the template's order,
// with the plot between MAX and the "ERRORS LOGGED" box.
constexpr int kDialogCols = 51;
constexpr int kCaptionRow = 0;
constexpr int kStatusRow = 1;
constexpr int kHeadingRow = 2;
constexpr int kFirstCounterRow = 3;  // eight counters, rows 3 to 10
constexpr int kRateRow = 11;
constexpr int kMinRow = 12;
constexpr int kMaxRow = 13;
constexpr int kPlotRow = 14;
// Below the plot: the box's four rows and the button.
constexpr int kRowsBelowPlot = 5;
constexpr int kDialogRows = kPlotRow + kRowsBelowPlot;  // 19, without a plot
// The plot: its caption row and at least two rows of bars; at most eight rows in all.
constexpr int kMinPlotRows = 3;
constexpr int kMaxPlotRows = 8;
// Label column x, width 70 units; value columns at 80 and 142, 53 units wide.
constexpr int kLabelCol = 1;
constexpr int kLabelWidth = 18;
constexpr int kCurrentCol = 20;
constexpr int kChangeCol = 35;
constexpr int kValueWidth = 13;
// The "ERRORS LOGGED" box at 36, 132 units wide, and what stands in it.
constexpr int kBoxCol = 9;
constexpr int kBoxWidth = 33;
constexpr int kErrorLabelCol = 11;
constexpr int kErrorCol = 17;
constexpr int kExtLabelCol = 26;
constexpr int kExtCol = 32;
constexpr int kNumberWidth = 7;
constexpr int kLoggedCol = 19;
// The plot's scale labels ("%9.2f", up to 100000.00) and its axis.
constexpr int kScaleWidth = 9;
constexpr int kBarsCol = kScaleWidth + 2;
// Rates kept for the plot, more than any terminal is wide.
constexpr size_t kRateHistory = 1024;

const char* const kCounterLabels[] = {
    "CAPTURES:",    "ASYNC. CAPTURES:", "CRC ERRORS:",     "STALL COUNT:",
    "RETRY COUNT:", "BOUNCES > 16ms:",  "SDA/SCL ERRORS:", "ADDRESS ERRORS:"};

void PutCentred(int nRow, int nCol, int nWidth, const std::string& text, attr_t attr = 0) {
    int nLength = static_cast<int>(text.size());
    int nAt = nCol + (nLength < nWidth ? (nWidth - nLength) / 2 : 0);
    PutText(nRow, nAt, text, nWidth - (nAt - nCol), attr);
}

void PutRight(int nRow, int nCol, int nWidth, const std::string& text) {
    int nLength = static_cast<int>(text.size());
    int nAt = nCol + (nLength < nWidth ? nWidth - nLength : 0);
    PutText(nRow, nAt, text, nWidth - (nAt - nCol));
}

std::string Rate(double fRate) {
    char szText[32];
    snprintf(szText, sizeof szText, "%*.2f", kScaleWidth, fRate);
    return szText;
}

class StatsCursesFrontEnd : public CursesFace {
  public:
    explicit StatsCursesFrontEnd(uint32_t nPolls) : nPollLimit(nPolls) { ResetFace(); }

    void SetItemText(int nId, const char* szText) override {
        if (TakeStatsText(&texts, nId, szText)) {
            bAnySample = bAnySample || texts.bSampleShown;
            bAnyPass = bAnyPass || texts.bErrorsShown;
        } else if (nId == kIdStatusText) {
            status = szText != nullptr ? szText : "";
        } else if (nId == kIdButton) {
            button = szText != nullptr ? szText : "";
        } else {
            return;
        }
        Draw();
    }

    void ShowItem(int) override {}
    void EnableItem(int, bool) override {}

    // One point of the plot per poll; a poll that showed nothing leaves a gap.
    void PollDone() override {
        double fRate = NAN;
        if (texts.bSampleShown) {
            fRate = strtod(StatsText(texts, IDC_POINTS_PER_SECOND).c_str(), nullptr);
        }
        rates.push_back(fRate);
        if (rates.size() > kRateHistory) {
            rates.pop_front();
        }
        texts.bSampleShown = false;
        texts.bErrorsShown = false;
        ++nPollsDone;
        if (nPollLimit != 0 && nPollsDone >= nPollLimit) {
            closeRequest = kCloseNow;
        }
        Draw();
    }

    // A logging pass takes up to about 15 s: the exchange under way shows at the left of the
    // column headings, where the template has no control.
    void ShowProgress(const char* szText) override {
        progress = szText != nullptr ? szText : "";
        Draw();
    }

  protected:
    // What the dialog last showed stays in the terminal's history.
    void PrintLastState() override {
        printf("status: %s\n", OneLine(status.c_str()).c_str());
        if (bAnySample) {
            printf("%s\n", SampleLine(texts).c_str());
        }
        if (bAnyPass) {
            printf("%s\n", ErrorsLine(texts).c_str());
        }
    }

    void ResetFace() override {
        ResetStatsTexts(&texts);
        progress.clear();
        status = " ";
        button = "Cancel";
        rates.clear();
        bAnySample = false;
        bAnyPass = false;
        nPollsDone = 0;
    }

    void HandleKey(int nKey) override {
        switch (nKey) {
            case 27:  // Esc: the cancel command
            case '\n':
            case '\r':
            case KEY_ENTER:
            case 'q':
            case 'Q':
                closeRequest = kCloseNow;  // the button ends the dialog in every state
                break;
            case 'r':
            case 'R':
            case kKeyFocusIn:
                bActivation = true;
                break;
            case KEY_RESIZE:
                Draw();
                break;
            default:
                break;
        }
    }

    void Draw() override {
        if (screen.pScreen == nullptr) {
            return;
        }
        erase();
        if (COLS < kDialogCols || LINES < kDialogRows) {
            DrawTooSmall();
        } else {
            DrawDialog();
        }
        refresh();
    }

    void DrawTooSmall() {
        char szText[160];
        snprintf(szText, sizeof szText,
                 "The terminal is too small for the statistics: they need %d x %d (%d x %d with "
                 "the rate plot), this one is %d x %d.",
                 kDialogCols, kDialogRows, kDialogCols, kDialogRows + kMinPlotRows, COLS, LINES);
        // Wrapped at blanks onto as many rows as it takes.
        std::string text = szText;
        int nRow = 0;
        size_t nAt = 0;
        while (nAt < text.size() && nRow < LINES - 1) {
            size_t nTake = text.size() - nAt;
            if (nTake > static_cast<size_t>(COLS)) {
                size_t nBlank = text.rfind(' ', nAt + static_cast<size_t>(COLS));
                nTake = nBlank != std::string::npos && nBlank > nAt ? nBlank - nAt
                                                                    : static_cast<size_t>(COLS);
            }
            PutText(nRow++, 0, text.substr(nAt, nTake), COLS);
            nAt += nTake;
            while (nAt < text.size() && text[nAt] == ' ') {
                ++nAt;
            }
        }
        PutText(LINES - 1, 0, "Esc, Enter or q: close", COLS, A_DIM);
    }

    void DrawDialog() {
        std::string caption = " Statistics";
        caption.resize(kDialogCols, ' ');
        PutText(kCaptionRow, 0, caption, kDialogCols, A_REVERSE);
        PutText(kCaptionRow, kDialogCols + 1, "q: close  r: search again", COLS, A_DIM);
        PutCentred(kStatusRow, 1, kDialogCols - 2, OneLine(status.c_str()));

        PutText(kHeadingRow, kLabelCol, progress, kLabelWidth, A_DIM);
        PutCentred(kHeadingRow, kCurrentCol, kValueWidth, "Current");
        PutCentred(kHeadingRow, kChangeCol, kValueWidth, "Change");
        for (int i = 0; i < 8; ++i) {
            int nRow = kFirstCounterRow + i;
            PutRight(nRow, kLabelCol, kLabelWidth, kCounterLabels[i]);
            PutCentred(nRow, kCurrentCol, kValueWidth, StatsText(texts, IDC_CAPTURES + i));
            PutCentred(nRow, kChangeCol, kValueWidth, StatsText(texts, IDC_CHANGE_CAPTURES + i));
        }
        PutRight(kRateRow, kLabelCol, kLabelWidth, "POINTS/SECOND:");
        PutCentred(kRateRow, kCurrentCol, kValueWidth, StatsText(texts, IDC_POINTS_PER_SECOND));
        PutRight(kMinRow, kLabelCol, kLabelWidth, "MIN:");
        PutCentred(kMinRow, kCurrentCol, kValueWidth, StatsText(texts, IDC_MIN_POINTS));
        PutRight(kMaxRow, kLabelCol, kLabelWidth, "MAX:");
        PutCentred(kMaxRow, kCurrentCol, kValueWidth, StatsText(texts, IDC_MAX_POINTS));

        int nPlotRows = LINES - kDialogRows;
        if (nPlotRows > kMaxPlotRows) {
            nPlotRows = kMaxPlotRows;
        }
        if (nPlotRows >= kMinPlotRows) {
            DrawPlot(kPlotRow, nPlotRows);
        } else if (nPlotRows > 0) {
            PutText(kPlotRow, kLabelCol, "(the rate plot needs a taller terminal)", COLS, A_DIM);
        }
        if (nPlotRows < 0) {
            nPlotRows = 0;
        }

        int nBoxRow = kPlotRow + nPlotRows;
        DrawFrame(nBoxRow, kBoxCol, 4, kBoxWidth);
        PutText(nBoxRow, kBoxCol + 2, " ERRORS LOGGED ", kBoxWidth - 4);
        PutText(nBoxRow + 1, kErrorLabelCol, "Error:", 6);
        PutCentred(nBoxRow + 1, kErrorCol, kNumberWidth, StatsText(texts, IDC_LAST_ERROR));
        PutText(nBoxRow + 1, kExtLabelCol, "Ext:", 4);
        PutCentred(nBoxRow + 1, kExtCol, kNumberWidth, StatsText(texts, IDC_LAST_EXTENDED));
        PutCentred(nBoxRow + 2, kLoggedCol, kValueWidth, StatsText(texts, IDC_ERRORS_LOGGED));

        PutCentred(nBoxRow + 4, 0, kDialogCols, "[ " + button + " ]", A_REVERSE);
    }

    // The point rate of the latest polls as bars, newest at the right, scaled between the
    // lowest and highest rate in view; a poll that showed nothing is a dot.
    void DrawPlot(int nTop, int nRows) {
        int nBars = nRows - 1;
        int nWidth = COLS - kBarsCol;
        size_t nShown =
            rates.size() < static_cast<size_t>(nWidth) ? rates.size() : static_cast<size_t>(nWidth);
        size_t nFirst = rates.size() - nShown;
        double fLow = 0;
        double fHigh = 0;
        bool bAny = false;
        for (size_t i = nFirst; i < rates.size(); ++i) {
            if (std::isnan(rates[i])) {
                continue;
            }
            fLow = bAny && fLow < rates[i] ? fLow : rates[i];
            fHigh = bAny && fHigh > rates[i] ? fHigh : rates[i];
            bAny = true;
        }
        if (fHigh - fLow < 0.005) {
            fLow = fHigh > 0 ? 0 : fHigh - 1;
        }

        char szCaption[96];
        snprintf(szCaption, sizeof szCaption, "POINTS/SECOND over the last %zu poll%s", nShown,
                 nShown == 1 ? "" : "s");
        PutText(nTop, kBarsCol, szCaption, COLS, A_DIM);
        for (int nBar = 0; nBar < nBars; ++nBar) {
            mvaddch(nTop + 1 + nBar, kBarsCol - 1, ACS_VLINE);
        }
        if (!bAny) {
            return;
        }
        PutText(nTop + 1, 0, Rate(fHigh), kScaleWidth);
        PutText(nTop + nBars, 0, Rate(fLow), kScaleWidth);
        for (size_t i = nFirst; i < rates.size(); ++i) {
            int nCol = kBarsCol + static_cast<int>(i - nFirst);
            if (std::isnan(rates[i])) {
                PutText(nTop + nBars, nCol, ".", 1, A_DIM);
                continue;
            }
            // At least one row, so that every sample shows.
            int nHeight =
                1 + static_cast<int>(std::lround((rates[i] - fLow) / (fHigh - fLow) * (nBars - 1)));
            for (int nRow = 0; nRow < nHeight; ++nRow) {
                PutText(nTop + nBars - nRow, nCol, " ", 1, A_REVERSE);
            }
        }
    }

  private:
    StatsTexts texts;
    std::string progress;
    std::string status;
    std::string button;
    std::deque<double> rates;  // one per poll, NAN where it showed nothing
    bool bAnySample;
    bool bAnyPass;
    uint32_t nPollLimit;
    uint32_t nPollsDone;
};

}  // namespace

FrontEnd* CreateStatsCursesFrontEnd(uint32_t nPolls) {
    return new StatsCursesFrontEnd(nPolls);
}
