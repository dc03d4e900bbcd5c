#include "host/master_controller.h"

namespace host {

CMasterController::CMasterController(std::unique_ptr<nbx::CILogSink> sink)
    : m_sink(std::move(sink)), m_registry(new CTaskRegistry) {}

CMasterController::~CMasterController() {
    // The stacks refer to this controller: they go before the sink does.
    m_facades.clear();
}

nbx::CIExceptionFacade& CMasterController::exceptionFacade() {
    return *m_facades.getOrCreate([this] { return new nbx::CExceptionFacade(this); });
}

void CMasterController::releaseThread() {
    m_facades.remove();
}

}  // namespace host
