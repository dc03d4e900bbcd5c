#pragma once
// Checking a thrown record's texts and site in the value-type tests.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "standard/exception.h"
#include "testing/failure.h"

namespace valuetest {

// What a test expects of a thrown record besides its module "standard" and error severity.
struct Expected {
    std::string message;
    std::string reason;
    std::string function;
};

// Runs `action` and expects an exception of type E with the given texts and site.
template <class E = nbx::CException>
void expectFailure(const std::function<void()>& action, const Expected& expected) {
    const nbx::testing::Failure got = nbx::testing::failure<E>(action);
    ASSERT_TRUE(got.thrown) << "no exception; expected '" << expected.message << "'";
    EXPECT_EQ(got.text() + " @ " + got.function,
              expected.message + " | " + expected.reason + " @ " + expected.function);
    EXPECT_EQ(got.module, "standard");
    EXPECT_EQ(got.severity, nbx::SEVERITY_ERROR);
}

}  // namespace valuetest
