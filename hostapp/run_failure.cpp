// The user's words for the result codes a module ends a run with.
#include "hostapp/run_failure.h"

namespace hostapp {

static std::string explainResult(int16_t result) {
    std::string code = " (result code " + std::to_string(result) + ")";
    switch (result) {
        case kMemFullErr: return "not enough memory" + code;
        case kFilterBadParameters: return "its stored parameters are invalid" + code;
        case kParamErr: return "the host could not serve one of its requests" + code;
        case 1: return "it refused to work on this document" + code;
        case 3: return "it could not obtain its working buffers" + code;
        case 999: return "it could not create its copy of the source image, usually for lack of memory" + code;
        default: return "it ended with an error" + code;
    }
}

std::string runFailure(const RunOutcome& outcome) {
    if (outcome.result != kNoErr) return "the filter failed: " + explainResult(outcome.result);
    if (outcome.gaveUp) return "the filter did not finish";
    return "";
}

}  // namespace hostapp
