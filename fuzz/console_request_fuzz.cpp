// The console server's side of the wire: a login proof of any bytes, and commands split as
// they arrive in chunks of any size.
#include <cstdlib>

#include "fuzz_input.h"
#include "rconsole_base/rconsole_command_splitter.h"
#include "rconsole_base/rconsole_login.h"
#include "security/blowfish.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string challenge(CRConsoleLogin::kChallengeSize, 'c');
    CBlowfish cipher;
    cipher.setKey(CRConsoleLogin::key("secret"));
    if (CRConsoleLogin::check(challenge, fuzzing::text(data, size), "admin", cipher) &&
        fuzzing::text(data, size) != CRConsoleLogin::proof(challenge, "admin", cipher)) {
        std::abort();  // only the one proof logs in
    }

    CRConsoleCommandSplitter whole;
    CRConsoleCommandSplitter sliced;
    std::vector<std::string> all;
    std::vector<std::string> parts;
    fuzzing::feedBoth(data, size, whole, sliced, all, parts);
    if (all != parts || whole.pending() != sliced.pending()) std::abort();
    return 0;
}
