#pragma once
// Helpers shared by the tests of this module.

#include <string>
#include <utility>

#include "testing/failure.h"

namespace prsttest {

// "message | reason" of the exception of type E that `call` throws, or a note that it did not.
template <class E = nbx::CException, class F>
std::string failure(F&& call) {
    nbx::testing::Failure f = nbx::testing::failure<E>(std::forward<F>(call));
    return f.thrown ? f.text() : "<no exception>";
}

// The site, "module function", of the exception that `call` throws.
template <class F>
std::string site(F&& call) {
    nbx::testing::Failure f = nbx::testing::failure(std::forward<F>(call));
    return f.module + " " + f.function;
}

// "file:line" of the exception that `call` throws, the file without its folders.
template <class F>
std::string where(F&& call) {
    try {
        call();
    } catch (nbx::CException& e) {
        return e.file().substr(e.file().find_last_of('/') + 1) + ":" + std::to_string(e.line());
    }
    return "<no exception>";
}

}  // namespace prsttest
