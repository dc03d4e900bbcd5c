#pragma once
// Reads one closed transaction log of a peer and sends its records, one command each, through
// the publisher's sync client.
//
// A record that the peer rejects ("nak") or keeps its own newer object for ("ack" with a
// message) never stops the file: the rejection is logged with its place in the file, the
// conflict goes to the resolver, and the next record follows. Everything else (a lost
// connection, a time-out, an answer without a result code, which confirms nothing) leaves the
// file to the dispatch step, which keeps it for a later attempt that goes on after the last
// answered command; a failed exchange also closes the connection, whose state is then unknown.

#include <string>

#include "dhcp_sync/sync_exceptions.h"
#include "standard/exception.h"
#include "standard/file_reader.h"

struct CPublisherTLS;

// Thrown out of a file when the task has been told to stop: the file stays where it is and the
// loop ends without sending the rest.
NBX_DECLARE_EXCEPTION(CExPublisherStopping, nbx::CException);

class CPublisherProcessor : public nbx::CFileReader {
public:
    // `owner` is not owned; it owns this processor.
    explicit CPublisherProcessor(CPublisherTLS* owner) : m_owner(owner) {}

    void execute(const std::string& directory, const std::string& name) override;
    void onCommand(const std::string& command, unsigned int line) override;

    // The name of the log being (or last) read, as the operator finds it in the spool.
    const std::string& fileName() const { return m_fileName; }

private:
    void _rejected(CDHCPSyncClientServerError& error, unsigned int line);

    CPublisherTLS* m_owner;
    std::string m_fileName;
};
