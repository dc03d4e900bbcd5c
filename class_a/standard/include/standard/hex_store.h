#pragma once
// A byte string with its hexadecimal text form: upper-case digit pairs joined by a separator
// ("-" unless set otherwise), e.g. 0A-1B-FF.
//
// Reading is lenient about separators, so that a text written with any separator of the same
// length reads alike ("0a:1b" == "0A-1B"): after each pair as many characters as the separator
// has are skipped unchecked, and the text may end in a partial separator. A digit pair that is
// incomplete or not hexadecimal throws nbx::CParseException and leaves the store empty.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "standard/object.h"

namespace nbx {

class CHexStore : public CObject {
public:
    using Bytes = std::vector<unsigned char>;

    CHexStore() = default;
    explicit CHexStore(Bytes bytes, std::string separator = "-")
        : m_bytes(std::move(bytes)), m_separator(std::move(separator)) {}
    CHexStore(const void* data, std::size_t length, std::string separator = "-");

    const Bytes& bytes() const { return m_bytes; }
    const unsigned char* data() const { return m_bytes.data(); }
    std::size_t size() const { return m_bytes.size(); }
    bool empty() const { return m_bytes.empty(); }
    void set(const void* data, std::size_t length);
    void set(Bytes bytes) { m_bytes = std::move(bytes); }
    void clear() { m_bytes.clear(); }

    const std::string& separator() const { return m_separator; }
    void setSeparator(const std::string& separator) { m_separator = separator; }

    std::string string() const override;
    bool string(const std::string& text) override;

    // Same bytes; the separator is presentation only.
    bool operator==(const CHexStore& other) const { return m_bytes == other.m_bytes; }
    bool operator!=(const CHexStore& other) const { return m_bytes != other.m_bytes; }

private:
    // A missing character (the text ended inside a pair) is passed as '\0' and refused too.
    unsigned char _char2Nybble(char c) const;

    Bytes m_bytes;
    std::string m_separator = "-";
};

}  // namespace nbx
