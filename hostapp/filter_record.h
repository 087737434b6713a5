// The FilterRecord's description of a document, as a host fills it in before a filter run: the
// image's size, mode, planes and depth, the filter rectangle and filterCase, the mask, the layer
// planes, and the host's fixed answers (colours, resolution, tiles, padding, sampling), with
// what the host profile leaves out.
#pragma once

#include "host/host_api.h"
#include "hostapp/document.h"
#include "hostapp/host.h"

namespace hostapp {

// Writes the document's description into the record's fields; procedures and the parameter
// handle are not touched.
void describeDocument(FilterRecord& record, const Document& doc, const HostProfile& profile);

}  // namespace hostapp
