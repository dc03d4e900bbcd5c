#pragma once
// The kernel's id of the calling thread: 32 bits, unique among live threads of the system, and
// the same number that debuggers and the host's logs show.

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

namespace nbx {

inline std::uint32_t currentThreadId() {
    thread_local const std::uint32_t id = static_cast<std::uint32_t>(::syscall(SYS_gettid));
    return id;
}

}  // namespace nbx
