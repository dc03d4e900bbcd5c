#include "host/host_settings.h"

#include "standard/stat.h"

namespace host {

std::string CHostSettings::where(const std::string& key) const {
    auto found = locations.find(key);
    return found == locations.end() ? file : found->second;
}

std::string CHostSettings::pluginPath(const std::string& name) const {
    if (name.find('/') != std::string::npos) return name;
    return nbx::CStat::join(pluginDirectory, "lib" + name + ".so");
}

}  // namespace host
