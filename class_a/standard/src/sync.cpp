#include "standard/sync.h"

#include <unistd.h>

namespace nbx {

// Not cached in a thread_local: a forked child's thread would keep its parent's id.
std::uint32_t currentThreadId() {
    return static_cast<std::uint32_t>(::gettid());
}

}  // namespace nbx
