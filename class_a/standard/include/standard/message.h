#pragma once
// Parameterised message text with "%1".."%n" placeholders.
//
// A message is a fixed-size value: arguments are packed into a 1024-byte buffer described by a
// 100-entry table, so building one at a throw site allocates nothing unless a string argument is
// longer than 200 bytes. Formatting happens only when the text is asked for.

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace nbx {

class CMessage {
public:
    static constexpr std::size_t kBufferSize = 1024;
    static constexpr std::size_t kMaxArguments = 100;
    // Strings up to this length (terminating NUL included) live in the buffer.
    static constexpr std::size_t kShortStringLimit = 200;

    // Argument type codes as stored in the table.
    enum ArgType : std::uint8_t {
        kInt8 = 0,
        kUInt8 = 1,
        kInt16 = 2,
        kUInt16 = 3,
        kLong = 4,   // signed 32-bit
        kULong = 5,  // unsigned 32-bit
        kInt = 6,
        kUInt = 7,
        kDouble = 8,
        kShortString = 9,
        kLongString = 10,
    };

    CMessage();
    explicit CMessage(const std::string& format, const std::string& module = std::string());
    explicit CMessage(const char* format, const std::string& module = std::string());
    CMessage(const CMessage& other);
    CMessage& operator=(const CMessage& other);
    ~CMessage();

    CMessage& push(signed char value);
    CMessage& push(char value);  // treated as a signed 8-bit value
    CMessage& push(unsigned char value);
    CMessage& push(short value);
    CMessage& push(unsigned short value);
    CMessage& push(int value);
    CMessage& push(unsigned int value);
    // long and long long are 64 bits here: narrowed to the 32-bit "long" argument.
    CMessage& push(long value);
    CMessage& push(unsigned long value);
    CMessage& push(long long value);
    CMessage& push(unsigned long long value);
    CMessage& push(double value);
    CMessage& push(bool value);
    CMessage& push(const char* value);
    CMessage& push(const std::string& value);
    // Explicit 32-bit forms, for callers that hold a value of the platform-neutral width.
    CMessage& pushLong(std::int32_t value);
    CMessage& pushULong(std::uint32_t value);

    // Anything that can render itself as text (an nbx::CObject) is pushed as that text.
    template <class T, class = decltype(std::declval<const T&>().string())>
    CMessage& push(const T& object) {
        return push(static_cast<const std::string&>(std::string(object.string())));
    }

    // Builds the formatted text, keeps it as the message's text and returns it.
    const std::string& text();
    // The last formatted text (empty until text() ran).
    const std::string& lastText() const { return m_text; }

    const std::string& format() const { return m_format; }
    void setFormat(const std::string& format) { m_format = format; }
    std::int32_t number() const { return m_number; }
    void setNumber(std::int32_t number) { m_number = number; }
    const std::string& module() const { return m_module; }
    void setModule(const std::string& module) { m_module = module; }

    std::size_t argumentCount() const { return m_count; }
    // The rendering of argument i (0-based); empty for an out-of-range index or unknown code.
    std::string argument(std::size_t index) const;
    bool empty() const { return m_format.empty(); }

private:
    struct Entry {
        std::uint16_t offset;
        std::uint8_t type;
    };

    void _checkSpace(std::size_t needed);
    CMessage& _push(ArgType type, const void* bytes, std::size_t size);
    CMessage& _pushString(const char* value, std::size_t length);
    void _copyFrom(const CMessage& other);
    void _freeLongStrings();

    std::string m_text;
    std::string m_format;
    std::int32_t m_number = -1;
    unsigned char m_buffer[kBufferSize];
    std::size_t m_write = 0;
    Entry m_table[kMaxArguments];
    std::size_t m_count = 0;
    std::string m_module;
};

// Builds a message from a format and its arguments in placeholder order.
template <class... Args>
CMessage msg(const char* format, const Args&... args) {
    CMessage message(format);
    (message.push(args), ...);
    return message;
}

}  // namespace nbx
