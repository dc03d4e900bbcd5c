#pragma once
// The response to a command the console refuses: one block, "code=nak" and why.

#include <string>
#include <vector>

#include "standard/string_map.h"

namespace host {

inline std::vector<nbx::CStringMap> nakBlocks(const std::string& message) {
    std::vector<nbx::CStringMap> blocks(1);
    blocks[0].set("code", "nak");
    blocks[0].set("message", message);
    return blocks;
}

}  // namespace host
