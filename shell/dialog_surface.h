// The surface through which the core and the workers write into the open dialog.
#ifndef ARMLINK_SHELL_DIALOG_SURFACE_H
#define ARMLINK_SHELL_DIALOG_SURFACE_H

// Every call is delivered on the user-interface thread and returns when it has been handled,
// as a cross-thread window message does. Control ids are those of the dialog templates.
class DialogSurface {
public:
    virtual ~DialogSurface() {}
    // Replaces the whole text of a control (for a button, its caption).
    virtual void SetItemText(int nId, const char* szText) = 0;
    // Makes a hidden control visible.
    virtual void ShowItem(int nId) = 0;
    // Enables or disables a control.
    virtual void EnableItem(int nId, bool bEnable) = 0;
};

#endif
