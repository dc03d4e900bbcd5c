#pragma once
// One end of a console connection: sends and receives transmissions over a CSockStream, as they
// are in clear-text mode or enciphered with the connection's CBlowfish.
//
// An enciphered transmission is zero-padded to a whole number of 8-byte blocks (at least one),
// and every block is enciphered by itself from a zero initialisation vector, so equal plain
// blocks give equal cipher blocks. The receiver cannot tell padding from data: the text formats
// on top of the channel ignore zero bytes where padding can stand.
//
// The channel refers to a stream and a cipher that its owner keeps; it holds no lock.

#include <ace/Time_Value.h>

#include <cstddef>
#include <cstdint>

#include "security/blowfish.h"
#include "standard/sock_stream.h"

class CRConsoleChannel {
public:
    CRConsoleChannel(CSockStream& stream, const CBlowfish& cipher);

    // Sends one transmission, blocking (CSockStream::send_blocked and its exceptions).
    void send(const void* data, std::size_t length, bool enciphered);

    // Receives into `buffer`, which is cleared first, waiting at most `timeout` for every single
    // receive (null: without limit).
    //   clear text: one receive; returns its count.
    //   enciphered: receives until the count is a multiple of 8, then deciphers the blocks in
    //               place; `length` must be a multiple of 8 (a smaller rest is not used).
    // Returns 0 at the end of the stream (enciphered: the count gathered so far; the bytes of a
    // block cut short by the end are zeroed, as their plain text is lost) and -1 when a receive
    // failed or timed out; lastError() then holds the errno (ETIME for a time-out).
    long receive(void* buffer, std::size_t length, const ACE_Time_Value* timeout, bool enciphered);

    std::uint32_t lastError() const { return m_lastError; }

private:
    // One receive of at most `length` bytes: the count, 0 at the end of the stream, -1 on error.
    long _receiveOnce(char* buffer, std::size_t length, const ACE_Time_Value* timeout);

    CSockStream& m_stream;
    const CBlowfish& m_cipher;
    std::uint32_t m_lastError = 0;
};
