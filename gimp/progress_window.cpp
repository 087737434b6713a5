// The interactive run's progress window, built with GIMP's dialog and progress bar widgets. It
// runs no main loop of its own: it handles the events that have piled up whenever the module
// polls for cancel, which it does as often as it reports progress.
#include "progress_window.h"

#include <libgimp/gimp.h>
#include <libgimp/gimpui.h>

namespace gimp_plugin {

ProgressWindow::ProgressWindow() {
    gimp_ui_init("velorund-gimp", FALSE);
    dialog_ = gimp_dialog_new("Velorund", "velorund-progress", nullptr, GtkDialogFlags(0), nullptr, nullptr,
                              "_Cancel", GTK_RESPONSE_CANCEL, nullptr);
    gimp_window_set_transient(GTK_WINDOW(dialog_));
    gtk_window_set_default_size(GTK_WINDOW(dialog_), 360, -1);

    // The bar takes over the plug-in's progress calls while it exists.
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(box), 12);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog_))), box, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box), gimp_progress_bar_new(), FALSE, FALSE, 0);

    // Cancel, and closing the window, ask the run to stop, until the result is being stored.
    auto onResponse = +[](GtkDialog*, gint, gpointer window) {
        auto* self = static_cast<ProgressWindow*>(window);
        self->cancelled_ = !self->storing_;
    };
    g_signal_connect(dialog_, "response", G_CALLBACK(onResponse), this);
    gtk_widget_show_all(dialog_);
    cancelRequested();
}

ProgressWindow::~ProgressWindow() { gtk_widget_destroy(dialog_); }

bool ProgressWindow::cancelRequested() {
    while (gtk_events_pending()) gtk_main_iteration();
    return cancelled_;
}

bool ProgressWindow::startStoring() {
    if (cancelRequested()) return false;
    storing_ = true;
    gtk_dialog_set_response_sensitive(GTK_DIALOG(dialog_), GTK_RESPONSE_CANCEL, FALSE);
    gtk_window_set_deletable(GTK_WINDOW(dialog_), FALSE);
    cancelRequested();  // shows the change before storing keeps the process busy
    return true;
}

}  // namespace gimp_plugin
