#pragma once
// Helpers shared by the tests of this module.

#include <functional>
#include <string>

#include "standard/exception.h"

namespace prsttest {

// "message | reason" of the exception of type E that `call` throws, or a note that it did not.
template <class E = nbx::CException, class F>
std::string failure(F&& call) {
    try {
        try {
            call();
        } catch (E& e) {
            return e.message().text() + " | " + e.reason().text();
        }
    } catch (nbx::CException& e) {
        return "wrong type: " + e.text();
    }
    return "<no exception>";
}

// The function (site) named by the exception that `call` throws.
template <class F>
std::string site(F&& call) {
    try {
        call();
    } catch (nbx::CException& e) {
        return e.module() + " " + e.function();
    }
    return "<no exception>";
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
