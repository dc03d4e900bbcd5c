// The daemon's configuration file: any content gives settings or one line saying why not.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "fuzz_input.h"
#include "host/host_config_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = [] {
        char name[] = "/tmp/nbx-fuzz-conf-XXXXXX";
        return std::string(::mkdtemp(name) ? name : "/tmp");
    }();
    const std::string path = folder + "/nbxd.conf";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ::chmod(path.c_str(), 0600);
    try {
        host::CHostConfigFile::read(path);
    } catch (nbx::CException& failure) {
        if (failure.text().find('\n') != std::string::npos) std::abort();  // one line
    }
    return 0;
}
