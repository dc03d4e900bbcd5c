#include "standard/message.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "standard/throw.h"

namespace nbx {

namespace {

constexpr const char* kModule = "standard";

// A long string lives on the heap; the buffer holds its length (NUL included) and pointer.
struct LongString {
    std::uint64_t length;
    char* data;
};

template <class T>
T load(const unsigned char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

std::string formatted(const char* format, long long value) {
    char out[32];
    std::snprintf(out, sizeof out, format, value);
    return out;
}

}  // namespace

CMessage::CMessage() {}

CMessage::CMessage(const std::string& format, const std::string& module)
    : m_format(format), m_module(module) {}

CMessage::CMessage(const char* format, const std::string& module)
    : m_format(format ? format : ""), m_module(module) {}

CMessage::CMessage(const CMessage& other) {
    _copyFrom(other);
}

CMessage& CMessage::operator=(const CMessage& other) {
    if (this != &other) {
        _freeLongStrings();
        _copyFrom(other);
    }
    return *this;
}

CMessage::~CMessage() {
    _freeLongStrings();
}

void CMessage::_copyFrom(const CMessage& other) {
    m_text = other.m_text;
    m_format = other.m_format;
    m_number = other.m_number;
    m_module = other.m_module;
    std::memcpy(m_buffer, other.m_buffer, other.m_write);
    std::memcpy(m_table, other.m_table, other.m_count * sizeof(Entry));
    m_write = other.m_write;
    m_count = other.m_count;
    // Every long string gets its own heap copy. Until it has one, its entry is marked unknown, so
    // that a failed allocation can never make this message free the other one's strings.
    for (std::size_t i = 0; i < m_count; ++i) {
        if (m_table[i].type == kLongString) m_table[i].type = 0xFF;
    }
    for (std::size_t i = 0; i < m_count; ++i) {
        if (other.m_table[i].type != kLongString) continue;
        LongString source = load<LongString>(m_buffer + m_table[i].offset);
        char* copy = new char[source.length];
        std::memcpy(copy, source.data, source.length);
        LongString own{source.length, copy};
        std::memcpy(m_buffer + m_table[i].offset, &own, sizeof own);
        m_table[i].type = kLongString;
    }
}

void CMessage::_freeLongStrings() {
    for (std::size_t i = 0; i < m_count; ++i) {
        if (m_table[i].type != kLongString) continue;
        delete[] load<LongString>(m_buffer + m_table[i].offset).data;
        m_table[i].type = 0xFF;
    }
}

void CMessage::_checkSpace(std::size_t needed) {
    if (m_count >= kMaxArguments) {
        NBX_THROW(CException, kModule, "CMessage::_checkSpace",
                  msg("Cannot process message argument for message '%1'.", m_format),
                  msg("Too many arguments."));
    }
    if (needed > kBufferSize - m_write) {
        std::string shown = m_format.size() > 500 ? m_format.substr(0, 500) + "..." : m_format;
        NBX_THROW(CException, kModule, "CMessage::_checkSpace",
                  msg("Cannot process message argument for message '%1'.", shown),
                  msg("Not enough buffer space."));
    }
}

CMessage& CMessage::_push(ArgType type, const void* bytes, std::size_t size) {
    _checkSpace(size);
    m_table[m_count] = Entry{static_cast<std::uint16_t>(m_write), type};
    std::memcpy(m_buffer + m_write, bytes, size);
    m_write += size;
    ++m_count;
    return *this;
}

CMessage& CMessage::_pushString(const char* value, std::size_t length) {
    if (length + 1 <= kShortStringLimit) {
        _checkSpace(length + 1);
        m_table[m_count] = Entry{static_cast<std::uint16_t>(m_write), kShortString};
        std::memcpy(m_buffer + m_write, value, length);
        m_buffer[m_write + length] = '\0';
        m_write += length + 1;
        ++m_count;
        return *this;
    }
    _checkSpace(sizeof(LongString));
    char* copy = new (std::nothrow) char[length + 1];
    if (!copy) {
        NBX_THROW(CException, kModule, "CMessage::_push", msg("Cannot push log argument."),
                  msg("Not enough memory."));
    }
    std::memcpy(copy, value, length);
    copy[length] = '\0';
    LongString stored{length + 1, copy};
    return _push(kLongString, &stored, sizeof stored);
}

CMessage& CMessage::push(signed char value) {
    return _push(kInt8, &value, sizeof value);
}
CMessage& CMessage::push(char value) {
    return push(static_cast<signed char>(value));
}
CMessage& CMessage::push(unsigned char value) {
    return _push(kUInt8, &value, sizeof value);
}
CMessage& CMessage::push(short value) {
    return _push(kInt16, &value, sizeof value);
}
CMessage& CMessage::push(unsigned short value) {
    return _push(kUInt16, &value, sizeof value);
}
CMessage& CMessage::push(int value) {
    return _push(kInt, &value, sizeof value);
}
CMessage& CMessage::push(unsigned int value) {
    return _push(kUInt, &value, sizeof value);
}
CMessage& CMessage::push(long value) {
    return pushLong(static_cast<std::int32_t>(value));
}
CMessage& CMessage::push(unsigned long value) {
    return pushULong(static_cast<std::uint32_t>(value));
}
CMessage& CMessage::push(long long value) {
    return pushLong(static_cast<std::int32_t>(value));
}
CMessage& CMessage::push(unsigned long long value) {
    return pushULong(static_cast<std::uint32_t>(value));
}
CMessage& CMessage::pushLong(std::int32_t value) {
    return _push(kLong, &value, sizeof value);
}
CMessage& CMessage::pushULong(std::uint32_t value) {
    return _push(kULong, &value, sizeof value);
}
CMessage& CMessage::push(double value) {
    return _push(kDouble, &value, sizeof value);
}
CMessage& CMessage::push(bool value) {
    return push(value ? "true" : "false");
}

CMessage& CMessage::push(const char* value) {
    if (!value) {
        NBX_THROW(CException, kModule, "CMessage::push", msg("Cannot push log argument."),
                  msg("Invalid pointer."));
    }
    return _pushString(value, std::strlen(value));
}

CMessage& CMessage::push(const std::string& value) {
    // Like a C string, the argument ends at its first NUL.
    return _pushString(value.c_str(), std::strlen(value.c_str()));
}

std::string CMessage::argument(std::size_t index) const {
    if (index >= m_count) return std::string();
    const unsigned char* at = m_buffer + m_table[index].offset;
    switch (m_table[index].type) {
        case kInt8:
            return formatted("%lli", load<std::int8_t>(at));
        case kUInt8:
            return formatted("%llu", load<std::uint8_t>(at));
        case kInt16:
            return formatted("%lli", load<std::int16_t>(at));
        case kUInt16:
            return formatted("%llu", load<std::uint16_t>(at));
        case kLong:
            return formatted("%lli", load<std::int32_t>(at));
        case kULong:
            return formatted("%llu", load<std::uint32_t>(at));
        case kInt:
            return formatted("%lli", load<int>(at));
        case kUInt:
            return formatted("%llu", load<unsigned int>(at));
        case kDouble: {
            char out[64];
            std::snprintf(out, sizeof out, "%g", load<double>(at));
            return out;
        }
        case kShortString:
            return reinterpret_cast<const char*>(at);
        case kLongString: {
            LongString stored = load<LongString>(at);
            return std::string(stored.data, stored.length - 1);
        }
        default:
            return std::string();
    }
}

const std::string& CMessage::text() {
    std::string text = m_format;
    for (std::size_t i = 1; i <= m_count; ++i) {
        const std::string token = "%" + std::to_string(i);
        const std::string value = argument(i - 1);
        std::size_t from = 0;
        while (from < text.size()) {
            std::size_t hit = text.find(token, from);
            if (hit == std::string::npos) break;
            text.replace(hit, token.size(), value);
            // Resume one past the inserted text: a placeholder right after it is left alone.
            from = hit + value.size() + 1;
        }
    }
    m_text = std::move(text);
    return m_text;
}

}  // namespace nbx
