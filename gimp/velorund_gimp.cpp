// velorund-gimp: the GIMP 2.10 plug-in. It registers plug-in-velorund under Filters > Distorts
// and hosts the module as the command-line tool does: the drawable, once GIMP's answers about it
// show the filter can take and write it, becomes a document of the in-process host, the module
// runs through its entry point with its progress on GIMP's progress bar (in a run from the menus,
// in a window whose Cancel the module's abortProc answers), and its result goes back through the
// shadow buffer as one undo step. A refusal, error or cancel leaves the image unchanged; a
// refusal or error comes back as the procedure's error message.
#include <libgimp/gimp.h>

#include <optional>
#include <string>

#include "drawable_document.h"
#include "hostapp/host.h"
#include "hostapp/run_failure.h"
#include "progress_window.h"
#include "run/dispatcher.h"

namespace {

constexpr char kProcedure[] = "plug-in-velorund";

void query() {
    static const GimpParamDef arguments[] = {
        {GIMP_PDB_INT32, const_cast<gchar*>("run-mode"),
         const_cast<gchar*>("The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1) }")},
        {GIMP_PDB_IMAGE, const_cast<gchar*>("image"), const_cast<gchar*>("Input image")},
        {GIMP_PDB_DRAWABLE, const_cast<gchar*>("drawable"), const_cast<gchar*>("Input drawable")},
    };
    gimp_install_procedure(kProcedure, "Warps a square into a circle",
                           "Squeezes the layer, or the rectangle around the selection, into the ellipse inscribed in "
                           "it by the conformal square-to-disc map, anti-aliasing its rim. Outside the ellipse a "
                           "layer with alpha becomes transparent and one without becomes black; pixels outside the "
                           "selection keep their values as the selection mask says.",
                           "Brackwater", "Brackwater", "2026", "Velorund (square to circle)", "RGB*, GRAY*",
                           GIMP_PLUGIN, G_N_ELEMENTS(arguments), 0, arguments, nullptr);
    gimp_plugin_menu_register(kProcedure, "<Image>/Filters/Distorts");
}

// GIMP's progress bar, fed by the module's progress reports.
void showProgress(void*, int32_t done, int32_t total) {
    if (total > 0) gimp_progress_update(static_cast<gdouble>(done) / total);
}

bool cancelRequested(void* window) { return static_cast<gimp_plugin::ProgressWindow*>(window)->cancelRequested(); }

// Batch mode has no window to press Cancel in: tests stand in for a Cancel pressed after the
// module's last poll by setting this in the plug-in's environment.
constexpr char kCancelBeforeStoring[] = "VELORUND_GIMP_CANCEL_BEFORE_STORING";

// GEGL for a process that only moves pixels between GIMP and the document, set up to take little
// memory. babl would load the cache of conversions GIMP keeps and rebuild each one, timing its
// lookup tables on scratch buffers of over 300 MB; the plug-in reads and writes the drawable's
// own format, or converts it to float, and needs none of them. GEGL's operations are not loaded,
// as none is run. And GIMP hands its plug-ins its own tile cache size, half the machine's memory,
// in which every tile read or written, each once, would stay as a second copy of the pixels.
void startGegl() {
    g_setenv("BABL_INHIBIT_CACHE", "1", TRUE);
    g_setenv("GEGL_PATH", "", TRUE);
    gegl_init(nullptr, nullptr);
    g_object_set(gegl_config(), "tile-cache-size", guint64{0}, nullptr);
}

// Filters the drawable; returns the procedure's status, with the reason in error on failure.
GimpPDBStatusType filterDrawable(GimpRunMode mode, int32_t image, int32_t drawable, std::string& error) {
    switch (gimp_plugin::examineDrawable(image, drawable, error)) {
        case gimp_plugin::Verdict::BadArgument: return GIMP_PDB_CALLING_ERROR;
        case gimp_plugin::Verdict::Refused: return GIMP_PDB_EXECUTION_ERROR;
        case gimp_plugin::Verdict::NothingToDo: return GIMP_PDB_SUCCESS;
        case gimp_plugin::Verdict::Filter: break;
    }
    startGegl();
    gimp_plugin::DrawableDocument target;
    if (!gimp_plugin::loadDrawable(image, drawable, target, error)) return GIMP_PDB_EXECUTION_ERROR;

    // Progress, and in a run from the menus the window whose Cancel abortProc answers (a GIMP
    // without a display, as in batch mode, names none).
    std::optional<gimp_plugin::ProgressWindow> window;
    hostapp::FrontEndCallbacks callbacks;
    if (mode != GIMP_RUN_NONINTERACTIVE && gimp_display_name() != nullptr) {
        window.emplace();
        callbacks.context = &*window;
        callbacks.cancelRequested = cancelRequested;
    }
    gimp_progress_init("Velorund: warping");
    callbacks.progress = showProgress;
    hostapp::RunOutcome outcome;
    {
        hostapp::InProcessHost host(PluginMain, callbacks);
        outcome = host.runFilter(target.doc);
    }

    // A cancelled or failed run leaves unwritten samples in the document: nothing is stored then.
    if (outcome.result == kUserCanceledErr) return GIMP_PDB_CANCEL;
    error = hostapp::runFailure(outcome);
    if (!error.empty()) return GIMP_PDB_EXECUTION_ERROR;
    // A Cancel pressed after the module's last poll still counts up to here; from here on, while
    // the result is stored, the window offers none.
    if ((window && !window->startStoring()) || g_getenv(kCancelBeforeStoring)) return GIMP_PDB_CANCEL;
    gimp_plugin::storeDrawable(target);
    gimp_progress_update(1.0);
    return GIMP_PDB_SUCCESS;
}

void run(const gchar* name, gint parameterCount, const GimpParam* parameters, gint* returnCount,
         GimpParam** returnValues) {
    static GimpParam values[2];
    static std::string error;
    *returnCount = 1;
    *returnValues = values;
    values[0].type = GIMP_PDB_STATUS;
    values[0].data.d_status = GIMP_PDB_CALLING_ERROR;
    if (parameterCount != 3 || std::string(name) != kProcedure) return;

    const GimpRunMode mode = static_cast<GimpRunMode>(parameters[0].data.d_int32);
    const int32_t image = parameters[1].data.d_image;
    const int32_t drawable = parameters[2].data.d_drawable;

    error.clear();
    GimpPDBStatusType status;
    try {
        status = filterDrawable(mode, image, drawable, error);
    } catch (const std::bad_alloc&) {
        status = GIMP_PDB_EXECUTION_ERROR;
        error = "not enough memory for a copy of the layer";
    }
    values[0].data.d_status = status;
    if (status == GIMP_PDB_EXECUTION_ERROR || status == GIMP_PDB_CALLING_ERROR) {
        error = "Velorund: " + error;
        values[1].type = GIMP_PDB_STRING;
        values[1].data.d_string = error.data();
        *returnCount = 2;
    }
    if (status == GIMP_PDB_SUCCESS && mode != GIMP_RUN_NONINTERACTIVE) gimp_displays_flush();
}

}  // namespace

const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, query, run};

MAIN()
