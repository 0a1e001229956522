// The interactive face of "/stats": STATS_DLG drawn in the terminal with ncurses as its template
// lays it out, with a plot of the point rate over the recent polls below the table. Esc, Enter
// or q close it; r and the terminal's focus-in report start the search again.
#include <cmath>
#include <cstdlib>
#include <deque>
#include <string>

#include "common/app_state.h"
#include "platform/posix/curses_screen.h"

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

class StatsCursesFace : public CursesFace {
  public:
    explicit StatsCursesFace(uint32_t nPolls) : CursesFace(kRunModeStats, nPolls) {}

  protected:
    // One point of the plot per poll, from the sample's number; a poll that showed nothing
    // leaves a gap.
    void Changed(ModelPart part, int) override {
        if (part == kPartPoll) {
            rates.push_back(model.bPollSample ? model.sample.fPointRate : NAN);
            if (rates.size() > kRateHistory) {
                rates.pop_front();
            }
        }
        Draw();
    }

    // What the dialog last showed stays in the terminal's history.
    void PrintLastState() override {
        if (model.bAnySample) {
            printf("%s\n", SampleLine(model).c_str());
        }
        if (model.bAnyPass) {
            printf("%s\n", ErrorsLine(model).c_str());
        }
    }

    void Reset() override {
        CursesFace::Reset();
        rates.clear();
    }

    void DrawDialog() override {
        if (COLS < kDialogCols || LINES < kDialogRows) {
            DrawTooSmall();
        } else {
            DrawTable();
        }
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

    void DrawTable() {
        std::string caption = " Statistics";
        caption.resize(kDialogCols, ' ');
        PutText(kCaptionRow, 0, caption, kDialogCols, A_REVERSE);
        PutText(kCaptionRow, kDialogCols + 1, "q: close  r: search again", COLS, A_DIM);
        PutCentred(kStatusRow, 1, kDialogCols - 2,
                   OneLine(ModelText(model, kIdStatusText).c_str()));

        PutText(kHeadingRow, kLabelCol, model.progress, kLabelWidth, A_DIM);
        if (!model.bAnySample && !model.note.empty()) {
            // Under "No Arm Found", where the plot's bars would stand: the ports that would not
            // open.
            PutText(kPlotRow + 1, kLabelCol, model.note, kDialogCols - 2, A_DIM);
        }
        PutCentred(kHeadingRow, kCurrentCol, kValueWidth, "Current");
        PutCentred(kHeadingRow, kChangeCol, kValueWidth, "Change");
        for (int i = 0; i < 8; ++i) {
            int nRow = kFirstCounterRow + i;
            PutRight(nRow, kLabelCol, kLabelWidth, kCounterLabels[i]);
            PutCentred(nRow, kCurrentCol, kValueWidth, ModelText(model, IDC_CAPTURES + i));
            PutCentred(nRow, kChangeCol, kValueWidth, ModelText(model, IDC_CHANGE_CAPTURES + i));
        }
        PutRight(kRateRow, kLabelCol, kLabelWidth, "POINTS/SECOND:");
        PutCentred(kRateRow, kCurrentCol, kValueWidth, ModelText(model, IDC_POINTS_PER_SECOND));
        PutRight(kMinRow, kLabelCol, kLabelWidth, "MIN:");
        PutCentred(kMinRow, kCurrentCol, kValueWidth, ModelText(model, IDC_MIN_POINTS));
        PutRight(kMaxRow, kLabelCol, kLabelWidth, "MAX:");
        PutCentred(kMaxRow, kCurrentCol, kValueWidth, ModelText(model, IDC_MAX_POINTS));

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
        PutCentred(nBoxRow + 1, kErrorCol, kNumberWidth, ModelText(model, IDC_LAST_ERROR));
        PutText(nBoxRow + 1, kExtLabelCol, "Ext:", 4);
        PutCentred(nBoxRow + 1, kExtCol, kNumberWidth, ModelText(model, IDC_LAST_EXTENDED));
        PutCentred(nBoxRow + 2, kLoggedCol, kValueWidth, ModelText(model, IDC_ERRORS_LOGGED));

        PutCentred(nBoxRow + 4, 0, kDialogCols, "[ " + ModelText(model, kIdButton) + " ]",
                   A_REVERSE);
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
    std::deque<double> rates;  // one per poll, NAN where it showed nothing
};

}  // namespace

FrontEnd* CreateStatsCursesFace(uint32_t nPolls) {
    return new StatsCursesFace(nPolls);
}
