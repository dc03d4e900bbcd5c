#pragma once
// An engine whose connections record the calls they get: for the transaction and facade tests,
// which check what reaches a connection and on which thread.

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "oodb/db_engine.h"
#include "standard/throw.h"

namespace oodb_test {

class RecordingConnection : public CIDBConnection {
public:
    CDBTransactionHandle begin() override {
        calls.push_back("begin " + std::to_string(++m_last));
        return m_last;
    }
    void commit(CDBTransactionHandle tx) override {
        calls.push_back("commit " + std::to_string(tx));
        if (failCommit) {
            NBX_THROW(nbx::CException, "test", "RecordingConnection::commit",
                      nbx::msg("Commit failed."), nbx::CMessage());
        }
    }
    void rollback(CDBTransactionHandle tx) override {
        calls.push_back("rollback " + std::to_string(tx));
    }
    CDBRecordList select(CDBTransactionHandle, const std::string&, const std::string&,
                         std::uint32_t) override {
        // A hanging select runs until it is interrupted (or a minute has passed).
        for (int waited = 0; hang && !interrupted && waited < 60000; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (interrupted.exchange(false)) {
            NBX_THROW(nbx::CException, "test", "RecordingConnection::select",
                      nbx::msg("Select cut short."), nbx::msg("interrupted"));
        }
        return {};
    }
    void interrupt() override { interrupted = hang.load(); }
    std::uint32_t count(CDBTransactionHandle, const std::string&, const std::string&) override {
        return 0;
    }
    CDBRecordList execute(CDBTransactionHandle tx, const std::string& table,
                          const std::string& statement, const nbx::CStringMap& arguments,
                          std::uint32_t limit) override {
        calls.push_back("execute " + std::to_string(tx) + " " + table + " " + statement + " " +
                        arguments.string() + std::to_string(limit));
        return {};
    }
    CDBStatementState prepare(const std::string&, const std::string&) override { return {}; }
    void write(CDBTransactionHandle tx, const CDBRecord& record) override {
        calls.push_back("write " + std::to_string(tx) + " " + record.table);
    }
    void remove(CDBTransactionHandle tx, const std::string& table, std::uint32_t pk) override {
        calls.push_back("remove " + std::to_string(tx) + " " + table + " " + std::to_string(pk));
    }
    std::uint32_t nextKey(const std::string&) override { return 0; }

    std::vector<std::string> calls;
    bool failCommit = false;
    std::atomic<bool> hang{false};
    std::atomic<bool> interrupted{false};

private:
    CDBTransactionHandle m_last = 0;
};

// One RecordingConnection per thread, like a real engine.
class RecordingEngine : public CIDBFacadeFactory {
public:
    explicit RecordingEngine(std::string name = "CIDBFacadeFactory") : m_name(std::move(name)) {}
    std::string name() const override { return m_name; }
    void open(const std::vector<CDBTableDef>& tables) override { declared = tables; }
    // Every session's declaration is recorded, open or not.
    void declare(const std::vector<CDBTableDef>& tables) override { open(tables); }
    void close() override {}
    bool isOpen() const override { return opened; }
    CIDBConnection& connection() override {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (refuse) {
            NBX_THROW(nbx::CException, "test", "RecordingEngine::connection",
                      nbx::msg("No connection."), nbx::CMessage());
        }
        auto& slot = m_connections[std::this_thread::get_id()];
        if (!slot) slot = std::make_unique<RecordingConnection>();
        return *slot;
    }
    void releaseConnection() override {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_connections.erase(std::this_thread::get_id());
        ++released;
    }
    std::size_t connections() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_connections.size();
    }
    int released = 0;
    bool opened = true;
    std::vector<CDBTableDef> declared;  // what the last open got
    bool refuse = false;                // connection() throws

private:
    std::string m_name;
    mutable std::mutex m_mutex;
    std::map<std::thread::id, std::unique_ptr<RecordingConnection>> m_connections;
};

}  // namespace oodb_test
