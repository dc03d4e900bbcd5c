#pragma once
// How a task hands a failure it caught on its own thread to the rest of the system: onto the
// controller's exception stack, flushed at once, since no caller is left to see it later.

#include "extended/master_controller.h"
#include "standard/exception.h"

namespace nbx {

void reportException(CIMasterController& controller, CException& exception);

}  // namespace nbx
