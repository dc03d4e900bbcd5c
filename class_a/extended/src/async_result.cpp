#include "extended/async_result.h"

template class CAsyncResult<bool>;
template class CAsyncResult<long>;
template class CExtAsyncResult<bool>;
template class CExtAsyncResult<long>;
