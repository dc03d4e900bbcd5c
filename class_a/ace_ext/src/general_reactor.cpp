#include "ace_ext/general_reactor.h"

template class CGeneralReactor<CSTReactorImplPolicy>;
template class CGeneralReactor<CMTReactorImplPolicy>;
