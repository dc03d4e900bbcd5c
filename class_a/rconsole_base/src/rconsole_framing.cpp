#include "rconsole_base/rconsole_framing.h"

#include <algorithm>

namespace {

// A newline inside a key or a value would end its block, or the whole response, early.
std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace

std::string CRConsoleFraming::command(const std::string& text) {
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == '\n') --end;
    std::string wire(text, 0, end);
    wire += "\n\n";
    return wire;
}

std::string CRConsoleFraming::response(const std::vector<nbx::CStringMap>& blocks) {
    std::string out;
    const std::size_t count = std::max<std::size_t>(blocks.size(), 1);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) out += "-\n";
        if (i >= blocks.size() || blocks[i].empty()) {
            // A blank line: it holds no entry, but unlike an empty line it ends nothing.
            out += " \n";
            continue;
        }
        for (const auto& entry : blocks[i]) {
            out += oneLine(entry.first);
            out += '=';
            out += oneLine(entry.second);
            out += '\n';
        }
    }
    out += '\n';
    return out;
}
