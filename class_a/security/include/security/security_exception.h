#pragma once
// Access denied: thrown where a token lacks the right an operation needs.

#include "standard/exception.h"

NBX_DECLARE_EXCEPTION(CSecurityException, nbx::CException);
