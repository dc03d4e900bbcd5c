// The console client's side of the wire: response blocks split as they arrive in chunks of any
// size, each block judged as the client judges a response, and the answer to the port query.
#include <cstdlib>

#include "fuzz_input.h"
#include "rconsole_base/rconsole_block_splitter.h"
#include "rconsole_base/rconsole_client.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CRConsoleBlockSplitter whole;
    CRConsoleBlockSplitter sliced;
    std::vector<std::string> all;
    std::vector<std::string> parts;
    fuzzing::feedBoth(data, size, whole, sliced, all, parts);
    // The same bytes make the same blocks, however they are cut.
    if (all != parts || whole.ended() != sliced.ended()) std::abort();
    for (const std::string& block : all) {
        std::string message = "-";
        const int result = CRConsoleClient::judge(block, message);
        // An outdated answer always carries the peer's message; a plain ack never does.
        if (result == CRConsoleClient::kOutdated && message.empty()) std::abort();
        if (result == CRConsoleClient::kAcknowledged && message != "-" && !message.empty())
            std::abort();
        if (result != CRConsoleClient::kAcknowledged && result != CRConsoleClient::kOutdated &&
            result != CRConsoleClient::kRejected)
            std::abort();
    }

    std::uint16_t port = 0;
    bool enciphered = false;
    CRConsoleClient::parsePortAnswer(reinterpret_cast<const char*>(data), size, port, enciphered);
    return 0;
}
