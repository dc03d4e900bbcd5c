#pragma once
// A master controller for tests: its log sink records every entry, every thread gets its own
// exception stack on first use, and the task registry is the controller's own.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "extended/exception_facade.h"
#include "extended/master_controller.h"

namespace nbx::testing {

struct LogEntry {
    std::uint32_t severity;
    std::string text;
    std::string module;
};

class RecordingLogSink : public CILogSink {
public:
    void log(std::uint32_t severity, const CMessage& message, const void*) override {
        CMessage copy(message);
        std::lock_guard<std::mutex> guard(m_mutex);
        m_entries.push_back({severity, copy.text(), copy.module()});
    }
    void log(const CExceptionList& exceptions) override {
        std::lock_guard<std::mutex> guard(m_mutex);
        for (const CExceptionPtr& record : exceptions) {
            CException copy(*record);
            m_entries.push_back({copy.severity(), copy.text(), copy.module()});
        }
    }
    std::vector<LogEntry> entries() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_entries;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const LogEntry& entry : entries()) out.push_back(entry.text);
        return out;
    }
    void clear() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_entries.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<LogEntry> m_entries;
};

class RecordingController : public CIMasterController {
public:
    CILogSink& logSink() override { return m_sink; }
    CIExceptionFacade& exceptionFacade() override {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto& facade = m_facades[std::this_thread::get_id()];
        if (!facade) facade = std::make_unique<CExceptionFacade>(this);
        return *facade;
    }
    CTaskRegistryPtr taskRegistry() override { return m_registry; }
    RecordingLogSink& sink() { return m_sink; }

private:
    RecordingLogSink m_sink;
    CTaskRegistryPtr m_registry{new CTaskRegistry};
    std::mutex m_mutex;
    std::map<std::thread::id, std::unique_ptr<CExceptionFacade>> m_facades;
};

}  // namespace nbx::testing
