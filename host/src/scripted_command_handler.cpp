#include "host/scripted_command_handler.h"

#include <thread>

#include "standard/throw.h"

namespace host {

void CScriptedCommandHandler::push(const std::vector<std::string>& blocks,
                                   std::chrono::milliseconds delay) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_answers.push_back({blocks, delay});
}

void CScriptedCommandHandler::pushHangUp() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_answers.push_back({{}, std::chrono::milliseconds(0), true});
}

void CScriptedCommandHandler::setStanding(const std::vector<std::string>& blocks) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_standing = {blocks, std::chrono::milliseconds(0)};
}

std::vector<CScriptedCommandHandler::Record> CScriptedCommandHandler::records() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_records;
}

std::vector<std::string> CScriptedCommandHandler::commands() const {
    std::vector<std::string> out;
    for (const Record& record : records()) out.push_back(record.command);
    return out;
}

bool CScriptedCommandHandler::handle(CConsoleSession& session, const std::string& command,
                                     std::vector<nbx::CStringMap>& blocks) {
    Answer answer;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_records.push_back({session.id(), session.commandCount(), session.context(), command});
        if (m_answers.empty()) {
            answer = m_standing;
        } else {
            answer = m_answers.front();
            m_answers.pop_front();
        }
    }
    if (answer.delay.count() > 0) std::this_thread::sleep_for(answer.delay);
    if (answer.hangUp) {
        NBX_THROW(CExConsoleHangUp, "host", "CScriptedCommandHandler::handle",
                  nbx::msg("The scripted console hangs up."), nbx::CMessage());
    }
    blocks.clear();
    for (const std::string& text : answer.blocks) blocks.emplace_back(text, "\n");
    return true;
}

}  // namespace host
