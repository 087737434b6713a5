// A front end that reaches into the host's test side: the layer check must refuse it.
#include "hostapp/testing/fault_walk.h"
