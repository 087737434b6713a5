// What a front end tells its user when a filter run did not complete: the meaning of the result
// code the module ended it with, or that it never finished.
#pragma once

#include <string>

#include "hostapp/host.h"

namespace hostapp {

// Empty when the run completed, else one line such as "the filter failed: not enough memory
// (result code -108)". Front ends tell a cancelled run apart themselves, before asking.
std::string runFailure(const RunOutcome& outcome);

}  // namespace hostapp
