// The string map's reader: any text gives a map or the reader's exception, and a map's own text
// is read again without failing. (A round trip need not give the same map: a key's trailing
// blanks before a tab are kept by design, and a written key meets the trimming once more.)
#include "fuzz_input.h"
#include "standard/exception.h"
#include "standard/string_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = fuzzing::text(data, size);
    for (const char* separator : {"\n", ","}) {
        for (char quote : {'\0', '"'}) {
            try {
                nbx::CStringMap map(input, separator, quote);
                nbx::CStringMap again(map.string(), separator, quote);
            } catch (nbx::CException&) {
            }
        }
    }
    return 0;
}
