// The console client's side of the wire: response blocks split as they arrive in chunks of any
// size, and the answer to the port query.
#include <cstdlib>

#include "fuzz_input.h"
#include "rconsole_base/rconsole_block_splitter.h"
#include "rconsole_base/rconsole_client.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CRConsoleBlockSplitter whole;
    CRConsoleBlockSplitter sliced;
    std::vector<std::string> all;
    std::vector<std::string> parts;
    const std::string input = size ? fuzzing::text(data + 1, size - 1) : std::string();
    whole.feed(input.data(), input.size(), all);
    for (const std::string& chunk : fuzzing::chunks(data, size))
        sliced.feed(chunk.data(), chunk.size(), parts);
    // The same bytes make the same blocks, however they are cut.
    if (all != parts || whole.ended() != sliced.ended()) std::abort();

    std::uint16_t port = 0;
    bool enciphered = false;
    CRConsoleClient::parsePortAnswer(reinterpret_cast<const char*>(data), size, port, enciphered);
    return 0;
}
