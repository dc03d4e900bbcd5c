#pragma once
// What the fuzz targets share: the input as text, cut into chunks of the sizes its first bytes
// choose (so that every reader also meets its input split at every place).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzing {

inline std::string text(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// The input after its first byte, in chunks of 1 to 16 bytes as that byte's bits choose.
inline std::vector<std::string> chunks(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> out;
    if (size == 0) return out;
    const unsigned step = (data[0] & 15u) + 1;
    for (std::size_t at = 1; at < size; at += step)
        out.push_back(text(data + at, std::min<std::size_t>(step, size - at)));
    return out;
}

// Feeds the input after its first byte to `whole` at once and to `sliced` in chunks; the pieces
// each one splits off go to `all` and `parts`, for the caller to compare.
template <class Splitter>
void feedBoth(const std::uint8_t* data, std::size_t size, Splitter& whole, Splitter& sliced,
              std::vector<std::string>& all, std::vector<std::string>& parts) {
    const std::string input = size ? text(data + 1, size - 1) : std::string();
    whole.feed(input.data(), input.size(), all);
    for (const std::string& chunk : chunks(data, size))
        sliced.feed(chunk.data(), chunk.size(), parts);
}

}  // namespace fuzzing
