#pragma once
// Folders of statement and table group files, and the texts of a thrown nbx::CException.

#include <filesystem>
#include <fstream>
#include <string>

#include "testing/failure.h"
#include "testing/temp_folder.h"

namespace oodb_test {

// A fresh folder that the test's statement and table group files are written to.
class TempDir : public nbx::testing::TempFolder {
public:
    TempDir() : TempFolder("nbx-oodb") {}
    std::string file(const std::string& name) const { return path() + "/" + name; }
    // Writes `text` to `name` (sub-directories made as needed) and returns the full path.
    std::string write(const std::string& name, const std::string& text) const {
        const std::string full = file(name);
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream(full, std::ios::binary) << text;
        return full;
    }
};

using nbx::testing::Failure;

// What `action` throws (an nbx::CException), and its "message | reason" or "<no exception>".
template <class F>
Failure failureOf(F&& action) {
    return nbx::testing::failure(std::forward<F>(action));
}
template <class F>
std::string textOf(F&& action) {
    const Failure failure = failureOf(std::forward<F>(action));
    return failure.thrown ? failure.text() : "<no exception>";
}

}  // namespace oodb_test
