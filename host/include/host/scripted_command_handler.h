#pragma once
// A console command handler for tests and demonstrations: takes every command, records it, and
// answers with the next scripted response (or, with none left, the standing answer: one block
// "code=ack"). A scripted response may be held back for a while before it is given.

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "host/console_command_handler.h"

namespace host {

class CScriptedCommandHandler : public CIConsoleCommandHandler {
public:
    struct Record {
        std::uint64_t connection;  // CConsoleSession::id
        std::size_t index;         // the command's place on its connection, from 1
        std::string context;       // the connection's context when the command came
        std::string command;
    };

    // Queues the answer to a coming command; each block is a text of key=value lines.
    void push(const std::vector<std::string>& blocks,
              std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    // Queues a hang-up: the coming command is recorded, then its connection is closed
    // without an answer.
    void pushHangUp();
    // The answer given when the queue is empty.
    void setStanding(const std::vector<std::string>& blocks);

    std::vector<Record> records() const;
    std::vector<std::string> commands() const;

    bool handle(CConsoleSession& session, const std::string& command,
                std::vector<nbx::CStringMap>& blocks) override;

private:
    struct Answer {
        std::vector<std::string> blocks;
        std::chrono::milliseconds delay;
        bool hangUp = false;
    };

    mutable std::mutex m_mutex;
    std::deque<Answer> m_answers;
    Answer m_standing{{"code=ack"}, std::chrono::milliseconds(0)};
    std::vector<Record> m_records;
};

}  // namespace host
