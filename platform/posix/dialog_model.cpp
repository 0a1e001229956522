// The dialog model of the terminal faces: the templates' first states and the writes into them.
#include "platform/posix/dialog_model.h"

#include <cstdio>

#include "common/app_state.h"
#include "protocol/hex_word.h"

namespace {

struct TemplateControl {
    int nId;
    const char* szText;
    bool bShown;
    bool bEnabled;
};

// The controls that the faces draw, as each template starts; the status line holds one blank
// until the dialog sets its first state.
const TemplateControl kVolumeControls[] = {
    {kIdStatusText, " ", true, true},
    {kIdButton, "Cancel", true, true},
    {kIdLogPathLabel, "Log Saved In:", false, true},
    {kIdLogPathText, "", false, true},
};
const TemplateControl kStatsControls[] = {
    {kIdStatusText, " ", true, true},
    {kIdButton, "Cancel", true, true},
};
const TemplateControl kExtendedControls[] = {
    {kIdStatusText, "Error Display", true, true},
    {kIdButton, "Check", true, false},
    {kIdSaveButton, "Save", true, false},
};

// The names of the eight counters in the "sample:" line, in the order of their controls.
const char* const kSampleNames[] = {"captures", "async",   "crc",     "stall",
                                    "retry",    "bounces", "sda_scl", "address"};

template <size_t N>
void AddControls(DialogModel* pModel, const TemplateControl (&controls)[N]) {
    for (const TemplateControl& c : controls) {
        pModel->controls[c.nId] = {c.szText, c.bShown, c.bEnabled, false};
    }
}

ControlState* Control(DialogModel* pModel, int nId) {
    auto it = pModel->controls.find(nId);
    return it != pModel->controls.end() ? &it->second : nullptr;
}

bool SetFlag(DialogModel* pModel, int nId, bool ControlState::*pFlag, bool bValue) {
    ControlState* pControl = Control(pModel, nId);
    if (pControl == nullptr) {
        return false;
    }
    pControl->bChanged = pControl->*pFlag != bValue;
    pControl->*pFlag = bValue;
    return true;
}

}  // namespace

void ResetDialogModel(DialogModel* pModel, int32_t nRunMode) {
    *pModel = DialogModel();
    if (nRunMode == kRunModeExtended) {
        AddControls(pModel, kExtendedControls);
    } else if (nRunMode == kRunModeStats) {
        AddControls(pModel, kStatsControls);
        // The value controls show "0" until the first sample.
        for (int nId = IDC_CAPTURES; nId <= IDC_MAX_POINTS; ++nId) {
            pModel->controls[nId] = {"0", true, true, false};
        }
    } else {
        AddControls(pModel, kVolumeControls);
    }
}

bool ModelSetText(DialogModel* pModel, int nId, const char* szText) {
    ControlState* pControl = Control(pModel, nId);
    if (pControl == nullptr) {
        return false;
    }
    if (nId >= IDC_CAPTURES && nId <= IDC_MAX_POINTS) {
        if (nId == IDC_LAST_ERROR || nId == IDC_LAST_EXTENDED) {
            pModel->bErrorsShown = true;
        } else if (nId != IDC_ERRORS_LOGGED) {
            pModel->bSampleShown = true;
        }
    }
    // The log's path is the technician's own text, not the arm's.
    std::string value = szText != nullptr ? szText : "";
    value = nId == kIdLogPathText ? value : ShownArmText(value);
    pControl->bChanged = pControl->text != value;
    pControl->text = value;
    return true;
}

bool ModelShow(DialogModel* pModel, int nId) {
    return SetFlag(pModel, nId, &ControlState::bShown, true);
}

bool ModelEnable(DialogModel* pModel, int nId, bool bEnable) {
    return SetFlag(pModel, nId, &ControlState::bEnabled, bEnable);
}

void ModelShowProgress(DialogModel* pModel, const char* szText) {
    pModel->progress = szText != nullptr ? szText : "";
    pModel->note = pModel->progress;
}

// The status line says that an entry is incomplete; the note says what is missing. "No Arm
// Found" is followed by the ports that would not open, and why.
void ModelReportOutcome(DialogModel* pModel, RunOutcome outcome, const char* szDetail) {
    pModel->reported = outcome;
    RunOutcome next = NextOutcome(pModel->outcome, outcome);
    if (next == outcome) {
        pModel->detail = szDetail != nullptr ? szDetail : "";
    }
    pModel->outcome = next;
    pModel->note = next == kOutcomeIncomplete ? pModel->detail : std::string();
    if (next == kOutcomeNoArm) {
        for (const std::string& line : pModel->portFailures) {
            pModel->note += (pModel->note.empty() ? "" : "; ") + line;
        }
    }
}

void ModelReportSaved(DialogModel* pModel, const char* szPath) {
    pModel->saved = szPath != nullptr ? szPath : "";
    pModel->note = "Saved to " + pModel->saved;
}

void ModelPortFailure(DialogModel* pModel, const std::string& line) {
    for (const std::string& known : pModel->portFailures) {
        if (known == line) {
            return;
        }
    }
    pModel->portFailures.push_back(line);
}

void ModelPollDone(DialogModel* pModel, const PollSample& sample) {
    if (pModel->bSampleShown) {
        pModel->sample = sample;
    }
    pModel->bPollSample = pModel->bSampleShown;
    pModel->bPollErrors = pModel->bErrorsShown;
    pModel->bAnySample = pModel->bAnySample || pModel->bSampleShown;
    pModel->bAnyPass = pModel->bAnyPass || pModel->bErrorsShown;
    pModel->bSampleShown = false;
    pModel->bErrorsShown = false;
    ++pModel->nPollsDone;
}

const ControlState& ModelControl(const DialogModel& model, int nId) {
    static const ControlState kNone = {"", false, false, false};
    auto it = model.controls.find(nId);
    return it != model.controls.end() ? it->second : kNone;
}

std::string SampleLine(const DialogModel& model) {
    std::string line = "sample:";
    for (int i = 0; i < 8; ++i) {
        line += std::string(" ") + kSampleNames[i] + "=" + ModelText(model, IDC_CAPTURES + i) +
                " " + ModelText(model, IDC_CHANGE_CAPTURES + i);
    }
    char szRates[160];
    snprintf(szRates, sizeof szRates, " rate=%.2f min=%.2f max=%.2f", model.sample.fPointRate,
             model.sample.fMinRate, model.sample.fMaxRate);
    return line + szRates;
}

std::string ErrorsLine(const DialogModel& model) {
    return "errors: error=" + ModelText(model, IDC_LAST_ERROR) +
           " ext=" + ModelText(model, IDC_LAST_EXTENDED) +
           " logged=" + ModelText(model, IDC_ERRORS_LOGGED);
}

std::string PathLine(const DialogModel& model) {
    const std::string& label = ModelText(model, kIdLogPathLabel);
    const char* szName = label == "Kept In:"       ? "kept"
                         : label == "Not Written:" ? "not written"
                                                   : "log";
    return std::string(szName) + ": " + ModelText(model, kIdLogPathText);
}

void PrintUnloggedEntry(const DialogModel& model, FILE* pOut) {
    if (model.unlogged.empty()) {
        return;
    }
    fputs("armlink: the log entry could not be kept in any file; here it is:\n", pOut);
    for (char c : model.unlogged) {
        if (c != '\r') {
            fputc(c, pOut);
        }
    }
    fflush(pOut);
}
