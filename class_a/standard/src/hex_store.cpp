#include "standard/hex_store.h"

#include "standard/throw.h"

namespace nbx {

CHexStore::CHexStore(const void* data, std::size_t length, std::string separator)
    : m_separator(std::move(separator)) {
    set(data, length);
}

void CHexStore::set(const void* data, std::size_t length) {
    const unsigned char* begin = static_cast<const unsigned char*>(data);
    if (begin == nullptr) length = 0;
    m_bytes.assign(begin, begin + length);
}

std::string CHexStore::string() const {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    if (m_bytes.empty()) return out;
    out.reserve(m_bytes.size() * (2 + m_separator.size()));
    for (std::size_t i = 0; i < m_bytes.size(); ++i) {
        if (i != 0) out += m_separator;
        out += kDigits[m_bytes[i] >> 4];
        out += kDigits[m_bytes[i] & 0x0F];
    }
    return out;
}

bool CHexStore::string(const std::string& text) {
    m_bytes.clear();
    Bytes bytes;
    const std::size_t length = text.size();
    const std::size_t step = m_separator.size();
    std::size_t at = 0;
    while (at < length) {
        const char high = text[at];
        const char low = at + 1 < length ? text[at + 1] : '\0';
        bytes.push_back(static_cast<unsigned char>(_char2Nybble(high) << 4 | _char2Nybble(low)));
        // Stop when the text ends here or within the separator that would follow.
        if (at + 2 >= length || length - (at + 2) <= step) break;
        at += 2 + step;
    }
    m_bytes = std::move(bytes);
    return true;
}

unsigned char CHexStore::_char2Nybble(char c) const {
    if (c >= '0' && c <= '9') return static_cast<unsigned char>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned char>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<unsigned char>(c - 'a' + 10);
    NBX_THROW(CParseException, "standard", "CHexStore::_char2Nybble",
              msg("Cannot convert character to nybble."), msg("Invalid hexadecimal character."));
}

}  // namespace nbx
