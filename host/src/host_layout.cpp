#include "host/host_layout.h"

#include <filesystem>

#include "standard/stat.h"

#ifndef NBX_BUILD_PLUGIN_DIR
#error "NBX_BUILD_PLUGIN_DIR: the build tree's plug-in folder"
#endif
#ifndef NBX_BUILD_STATEMENT_DIR
#error "NBX_BUILD_STATEMENT_DIR: the source tree's statement folder"
#endif

namespace fs = std::filesystem;

namespace host {

namespace {

std::string runningProgram() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

}  // namespace

CHostLayout::CHostLayout() : CHostLayout(runningProgram()) {}

CHostLayout::CHostLayout(const std::string& executable)
    : m_prefix(fs::path(executable).parent_path().parent_path().string()) {}

std::string CHostLayout::pluginDirectory() const {
    return _choose("lib/nbx/plugins", NBX_BUILD_PLUGIN_DIR);
}

std::string CHostLayout::statementDirectory() const {
    return _choose("share/nbx/db", NBX_BUILD_STATEMENT_DIR);
}

std::string CHostLayout::_choose(const char* installed, const char* built) const {
    const std::string path = nbx::CStat::join(m_prefix, installed);
    if (nbx::CStat::isDirectory(path) || !nbx::CStat::isDirectory(built)) return path;
    return built;
}

}  // namespace host
