#include "rconsole_base/rconsole_channel.h"

#include <cstring>
#include <vector>

#include "rconsole_deadline.h"
#include "standard/throw.h"

namespace {

constexpr std::size_t kBlock = CBlowfish::kBlockSize;

}  // namespace

CRConsoleChannel::CRConsoleChannel(CSockStream& stream, const CBlowfish& cipher)
    : m_stream(stream), m_cipher(cipher) {}

void CRConsoleChannel::send(const void* data, std::size_t length, bool enciphered) {
    // A closed stream fails as the stream does, before any cipher work.
    if (!enciphered || !m_stream.isOpen()) {
        m_stream.send_blocked(data, length);
        return;
    }
    const std::size_t padded = length < kBlock ? kBlock : (length + kBlock - 1) / kBlock * kBlock;
    std::vector<char> buffer(padded, '\0');
    if (length > 0) std::memcpy(buffer.data(), data, length);
    m_cipher.encipherBlocks(buffer.data(), buffer.size());
    m_stream.send_blocked(buffer.data(), buffer.size());
}

long CRConsoleChannel::_receiveOnce(char* buffer, std::size_t length,
                                    const ACE_Time_Value* timeout) {
    try {
        return static_cast<long>(m_stream.recv(buffer, length, timeout));
    } catch (nbx::CException& e) {
        m_lastError = e.errorCode();
        return -1;
    }
}

long CRConsoleChannel::receive(void* buffer, std::size_t length, const ACE_Time_Value* timeout,
                               bool enciphered) {
    char* bytes = static_cast<char*>(buffer);
    std::memset(bytes, 0, length);
    m_lastError = 0;
    if (!enciphered) return _receiveOnce(bytes, length, timeout);

    const std::size_t usable = length - length % kBlock;
    std::size_t total = 0;
    CRConsoleDeadline deadline(timeout);
    do {
        const long got = _receiveOnce(bytes + total, usable - total, deadline.left());
        if (got < 0) return -1;
        if (got == 0) break;
        total += static_cast<std::size_t>(got);
    } while (total % kBlock != 0 && total < usable);
    const std::size_t whole = total - total % kBlock;
    if (whole > 0) m_cipher.decipherBlocks(bytes, whole);
    std::memset(bytes + whole, 0, total - whole);
    return static_cast<long>(total);
}
