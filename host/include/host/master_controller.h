#pragma once
// The host's master controller: what every task of the process is given. It owns the log sink,
// keeps one exception stack per thread (created on the thread's first use, kept until the
// thread's entry is released) and shares one registry of task threads.

#include <memory>
#include <string>

#include "extended/exception_facade.h"
#include "extended/master_controller.h"
#include "host/log_sink.h"
#include "standard/multi_ptr.h"
#include "standard/sync.h"

namespace host {

class CMasterController : public nbx::CIMasterController {
public:
    // The sink is owned; it must outlive every thread that logs through the controller.
    explicit CMasterController(std::unique_ptr<nbx::CILogSink> sink);
    ~CMasterController() override;
    CMasterController(const CMasterController&) = delete;
    CMasterController& operator=(const CMasterController&) = delete;

    nbx::CILogSink& logSink() override { return *m_sink; }
    nbx::CIExceptionFacade& exceptionFacade() override;
    CTaskRegistryPtr taskRegistry() override { return m_registry; }

    // Drops the calling thread's stack (a thread that ends calls it; ids are reused).
    void releaseThread();
    std::size_t threadCount() const { return m_facades.size(); }

private:
    std::unique_ptr<nbx::CILogSink> m_sink;
    nbx::CMultiPtr<nbx::CExceptionFacade*, nbx::CNRMutex> m_facades;
    CTaskRegistryPtr m_registry;
};

}  // namespace host
