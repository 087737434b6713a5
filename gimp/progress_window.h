// The progress window of an interactive run: GIMP's progress bar widget, which shows what the
// run reports through gimp_progress_update, and a Cancel button whose press the module's
// abortProc answers, so that the module ends its own run. (GIMP's cancel in its status bar
// would end the plug-in's whole process instead, without the module hearing of it.)
#pragma once

typedef struct _GtkWidget GtkWidget;

namespace gimp_plugin {

class ProgressWindow {
public:
    ProgressWindow();  // opens the window over GIMP's image window
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // Handles the window's pending events, redrawing the bar; true once Cancel was pressed or
    // the window closed.
    bool cancelRequested();

    // For the result to be stored: handles pending events once more and, unless Cancel was
    // pressed, takes Cancel away (the button greyed out, the window no longer closed by its
    // frame) and returns true; returns false when Cancel was pressed.
    bool startStoring();

private:
    GtkWidget* dialog_;
    bool cancelled_ = false;
    bool storing_ = false;
};

}  // namespace gimp_plugin
