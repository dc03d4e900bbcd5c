#pragma once
// A fresh folder under /tmp for one test, removed with everything in it when the test ends
// (kept when `keep()` was called, for a failure to be looked at).

#include <stdlib.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace nbx::testing {

class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "nbx-test") {
        std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        if (!::mkdtemp(&pattern[0])) throw std::runtime_error("cannot make " + pattern);
        m_path = pattern;
    }
    ~TempFolder() {
        if (!m_keep) std::system(("rm -rf '" + m_path + "'").c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    void keep() { m_keep = true; }

private:
    std::string m_path;
    bool m_keep = false;
};

}  // namespace nbx::testing
