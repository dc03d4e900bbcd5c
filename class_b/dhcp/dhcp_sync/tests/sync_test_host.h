#pragma once
// A host for the sync service's tests: the real system bus and SQLite engine of the host, a
// recording log, a configuration given as text, and a fresh folder (spool base "spool",
// resolver folder "conflicts") that goes with the object.

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dhcp_plugin_api/dhcp_context.h"
#include "dhcp_plugin_api/host_context.h"
#include "dhcp_plugin_api/host_services.h"
#include "host/system_bus.h"
#include "publisher/publisher_task.h"
#include "resolver/resolver_task.h"
#include "standard/stat.h"
#include "testing/eventually.h"
#include "testing/recording_controller.h"
#include "testing/temp_folder.h"

namespace nbx::testing {

class TestHostServices : public CIHostServices, public CIHostContext {
public:
    // `configText` is key=value lines.
    explicit TestHostServices(const std::string& configText = std::string())
        : m_bus(std::make_shared<host::CSystemBus>(&m_controller.sink())) {
        setConfig(configText);
    }

    void setConfig(const std::string& text) {
        auto config = std::make_shared<CConfig>(text, "\n");
        std::lock_guard<std::mutex> guard(m_mutex);
        m_config = config;
    }
    void offer(const std::string& name, void* implementation) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_interfaces[name] = implementation;
    }

    // CIMasterController
    CILogSink& logSink() override { return m_controller.logSink(); }
    CIExceptionFacade& exceptionFacade() override { return m_controller.exceptionFacade(); }
    CTaskRegistryPtr taskRegistry() override { return m_controller.taskRegistry(); }
    // CIHostServices
    std::shared_ptr<const CConfig> config() override {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_config;
    }
    CISystemBusPtr systemBus() override { return m_bus; }
    void* queryInterface(const std::string& name) override {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto found = m_interfaces.find(name);
        return found == m_interfaces.end() ? nullptr : found->second;
    }
    std::uint32_t databaseVersion() override { return 1; }
    std::string baseDirectory() override { return m_folder.path() + "/spool"; }
    std::string resolverDirectory() override { return m_folder.path() + "/conflicts"; }
    void releaseThread() override { ++m_releasedThreads; }
    // CIHostContext
    CIDHCPFeatureSetPtr featureSet() override { return nullptr; }

    host::CSystemBus& bus() { return *m_bus; }
    RecordingLogSink& sink() { return m_controller.sink(); }
    // The entries of the log with exactly this text.
    std::vector<LogEntry> logged(const std::string& text) {
        std::vector<LogEntry> out;
        for (const LogEntry& entry : sink().entries()) {
            if (entry.text == text) out.push_back(entry);
        }
        return out;
    }
    bool logged(std::uint32_t severity, const std::string& text) {
        for (const LogEntry& entry : logged(text)) {
            if (entry.severity == severity) return true;
        }
        return false;
    }
    // The texts of the error entries, for the messages of failed assertions.
    std::string errors() {
        std::string out;
        for (const LogEntry& entry : sink().entries()) {
            if (entry.severity == SEVERITY_ERROR) out += entry.text + "\n";
        }
        return out;
    }
    const std::string& folder() const { return m_folder.path(); }
    int releasedThreads() const { return m_releasedThreads.load(); }

private:
    RecordingController m_controller;
    std::shared_ptr<host::CSystemBus> m_bus;
    TempFolder m_folder{"nbx-sync"};
    std::mutex m_mutex;
    std::shared_ptr<const CConfig> m_config;
    std::map<std::string, void*> m_interfaces;
    std::atomic<int> m_releasedThreads{0};
};

// A spooled record of a "keyvalue" object named `name`, with the event time `time`.
inline std::string spooledRecord(const std::string& name, const std::string& time) {
    return "sync_keyvalue\n_event_operation=add\n_event_time=" + time + "\n_oid=1\nname=" + name +
           "\n\n";
}

// A protocol instance of that host.
class TestContext : public CIDHCPContext {
public:
    TestContext(TestHostServices& services, int family, const std::string& name)
        : m_services(services), m_family(family), m_name(name) {}
    CProtocolFamily family() const override { return m_family; }
    const std::string& name() const override { return m_name; }
    CIHostContext& hostContext() override { return m_services; }
    CIHostServices& services() override { return m_services; }
    void close() override { ++m_closed; }
    int closed() const { return m_closed.load(); }

private:
    TestHostServices& m_services;
    CProtocolFamily m_family;
    std::string m_name;
    std::atomic<int> m_closed{0};
};

// A publisher of the IPv4 instance of a host (retry delay one second), its spool folder "peer"
// and its resolver; Base is the kind of test.
template <class Base = ::testing::Test>
class PublisherFixture : public Base {
protected:
    void SetUp() override {
        ASSERT_EQ(CStat::makeDirectory(spool, true), 0);
        ASSERT_EQ(resolver.run(), 0);
    }
    void TearDown() override {
        publisher.reset();
        resolver.stop();
    }
    std::unique_ptr<CPublisherTask> make(const std::string& target, const std::string& password,
                                         bool enabled = true, int family = 4) {
        auto task = std::make_unique<CPublisherTask>(&resolver, CProtocolFamily(family), target,
                                                     spool, "replicator", password, enabled, &host);
        EXPECT_EQ(task->run(), 0);
        return task;
    }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(spool + "/" + name, std::ios::binary) << text;
    }
    bool spooled(const std::string& name) const { return CStat::exists(spool + "/" + name); }

    TestHostServices host{"ipv4.dhcpv4.sync.interval=1"};
    TestContext context{host, 4, "dhcp4"};
    CResolverTask resolver{context, host.resolverDirectory(), CProtocolFamily(4)};
    std::string spool = host.baseDirectory() + "/peer";
    std::unique_ptr<CPublisherTask> publisher;
};

}  // namespace nbx::testing
