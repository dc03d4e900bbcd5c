#include "extended/report_exception.h"

namespace nbx {

void reportException(CIMasterController& controller, CException& exception) {
    CIExceptionFacade& facade = controller.exceptionFacade();
    exception.report(&facade);
    facade.flush();
}

}  // namespace nbx
