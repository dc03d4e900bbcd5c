#pragma once
// Temporary directories with statement and table group files, and the texts of a thrown
// nbx::CException.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "standard/exception.h"
#include "testing/failure.h"

namespace oodb_test {

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/nbx-oodb-XXXXXX";
        const char* made = mkdtemp(name);
        EXPECT_NE(made, nullptr);
        m_path = made ? made : "/tmp";
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    // Writes `text` to `name` (sub-directories made as needed) and returns the full path.
    std::string write(const std::string& name, const std::string& text) const {
        const std::string full = file(name);
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream out(full, std::ios::binary);
        out << text;
        return full;
    }

private:
    std::string m_path;
};

using nbx::testing::Failure;

// Runs `action` and describes the nbx::CException it throws.
template <class F>
Failure failureOf(F&& action) {
    return nbx::testing::failure(std::forward<F>(action));
}

// "message | reason" of the exception that `action` throws, or "<no exception>".
template <class F>
std::string textOf(F&& action) {
    const Failure failure = failureOf(std::forward<F>(action));
    if (!failure.thrown) return "<no exception>";
    return failure.message + " | " + failure.reason;
}

}  // namespace oodb_test
