#pragma once
// What a call threw, for assertions: run it through failure() and compare the fields.
//
//   auto f = nbx::testing::failure([&] { stream.send(...); });
//   EXPECT_EQ(f.message, "Cannot transmit buffer.");
//   EXPECT_EQ(f.reason, "Invalid handle.");

#include <cstdint>
#include <string>

#include "standard/exception.h"

namespace nbx::testing {

struct Failure {
    bool thrown = false;
    std::string message;
    std::string reason;  // the system's text of the code when the site gave none
    std::string function;
    std::string module;
    std::string className;
    std::uint32_t code = 0;
    std::uint32_t severity = 0;
    // "message | reason", the form most assertions compare.
    std::string text() const { return message + " | " + reason; }
};

inline Failure describe(CException& e) {
    Failure out;
    out.thrown = true;
    out.message = e.message().text();
    out.reason = e.reason().text();
    out.function = e.function();
    out.module = e.module();
    out.className = e.className();
    out.code = e.errorCode();
    out.severity = e.severity();
    return out;
}

// Runs `call` and records the exception of type E that it throws; other exceptions pass on.
template <class E = CException, class F>
Failure failure(F&& call) {
    try {
        call();
    } catch (E& e) {
        return describe(e);
    }
    return Failure();
}

}  // namespace nbx::testing
