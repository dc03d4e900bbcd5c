#pragma once
// Whole seconds from configuration or a constructor's argument as an ACE time value. A negative
// count means "no time" rather than a time in the past, so it becomes zero.

#include <ace/Time_Value.h>

namespace nbx {

inline ACE_Time_Value seconds(long count) {
    return ACE_Time_Value(count > 0 ? count : 0);
}

}  // namespace nbx
