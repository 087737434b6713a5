// The procedures the host hands the module: the handle and buffer suites, advanceState,
// progress, abort and displayPixels. They are plain C function pointers with no context, so
// while the host makes a selector call, a CallbackRoute names it as the host they serve.
#pragma once

#include "host/host_api.h"
#include "hostapp/host.h"

namespace hostapp {

// Routes the module's calls to `host` for the scope's life, then back to whichever host was
// served before (an about or selector call made inside a whole run).
class CallbackRoute {
public:
    explicit CallbackRoute(InProcessHost* host);
    ~CallbackRoute();
    CallbackRoute(const CallbackRoute&) = delete;
    CallbackRoute& operator=(const CallbackRoute&) = delete;

private:
    InProcessHost* previous_;
};

// Builds the suites as the settings present them, and hands the record every procedure the
// settings offer (null for the others). The suites are the host's, and the record points at them.
void offerProcedures(FilterRecord& record, const HostSettings& settings, HandleProcs& handles,
                     BufferProcs& buffers);

}  // namespace hostapp
