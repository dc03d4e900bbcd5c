// The reader of the spooled transaction logs: any file gives its commands, each a text without
// an empty line in it, or the reader's exception.
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "fuzz_input.h"
#include "standard/exception.h"
#include "standard/file_reader.h"

namespace {

class Commands : public nbx::CFileReader {
public:
    void onCommand(const std::string& command, unsigned int line) override {
        if (command.empty() || command.find("\n\n") != std::string::npos || line == 0) std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = [] {
        char name[] = "/tmp/nbx-fuzz-log-XXXXXX";
        return std::string(::mkdtemp(name) ? name : "/tmp");
    }();
    {
        std::ofstream out(folder + "/0000000-transactions.4.log",
                          std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    Commands reader;
    try {
        reader.execute(folder, "0000000-transactions.4.log");
    } catch (nbx::CException&) {
    }
    return 0;
}
