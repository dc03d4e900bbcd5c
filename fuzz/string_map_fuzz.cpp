// The string map's reader: any text gives a map or the reader's exception, and a map's own text
// reads back to the same map.
#include <cstdlib>

#include "fuzz_input.h"
#include "standard/exception.h"
#include "standard/string_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = fuzzing::text(data, size);
    for (const char* separator : {"\n", ","}) {
        for (char quote : {'\0', '"'}) {
            try {
                nbx::CStringMap map(input, separator, quote);
                const std::string written = map.string();
                nbx::CStringMap again(written, separator, quote);
                if (again.string() != written) std::abort();
            } catch (nbx::CException&) {
            }
        }
    }
    return 0;
}
