#pragma once
// What the framework needs of the host's master controller: the log sink, the calling
// thread's exception stack and the registry of task threads. The host implements it; tests use
// a recording one.

#include "standard/exception_facade.h"
#include "standard/task_registry.h"

namespace nbx {

class CIMasterController {
public:
    virtual ~CIMasterController() = default;
    virtual CILogSink& logSink() = 0;
    // The calling thread's exception stack, created on its first use.
    virtual CIExceptionFacade& exceptionFacade() = 0;
    // The registry shared by every task of the process.
    virtual CTaskRegistryPtr taskRegistry() = 0;
};

}  // namespace nbx
