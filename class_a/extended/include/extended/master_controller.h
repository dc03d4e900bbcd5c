#pragma once
// What the framework needs of the host's master controller: the log sink and the calling
// thread's exception stack. The host implements it; tests use a recording one.

#include "standard/exception_facade.h"

namespace nbx {

class CIMasterController {
public:
    virtual ~CIMasterController() = default;
    virtual CILogSink& logSink() = 0;
    // The calling thread's exception stack, created on its first use.
    virtual CIExceptionFacade& exceptionFacade() = 0;
};

}  // namespace nbx
