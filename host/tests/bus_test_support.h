#pragma once
// A real subscriber for the system bus tests: its own command-queue task, a record of every
// delivery, and a switch that holds the task in its first delivery so that the queue fills up.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ace_ext/general_reactor.h"
#include "dhcp_plugin_api/system_bus.h"
#include "standard/task_registry.h"
#include "standard/throw.h"
#include "testing/eventually.h"

namespace bustest {

using namespace std::chrono_literals;

using nbx::testing::eventually;

inline CAppEventList events(std::initializer_list<std::pair<const char*, int>> items) {
    CAppEventList list;
    for (const auto& [topic, oid] : items) {
        list.push_back(CAppEventPtr(
            new CPrstDHCPObjectEvent("modify", topic, std::to_string(oid), nbx::CTimeT(0))));
    }
    return list;
}

class QueueTask : public CCommandQueueTask<CSTGeneralReactor> {
public:
    QueueTask(nbx::CIMasterController* controller, const std::string& name)
        : CCommandQueueTask<CSTGeneralReactor>(controller, name, 1) {}
    ~QueueTask() override { stop(); }
};

// A subscriber on its own task. Each delivery is recorded as "topic:oid" texts with the name
// that the task registry gives the delivering thread. While held, the first delivery blocks
// the task, so that its queue fills up.
class Subscriber : public CISystemBusSubscriber {
public:
    Subscriber(nbx::CIMasterController& controller, const std::string& filter,
               const std::string& name = "v4-sync-receiver")
        : CISystemBusSubscriber(nullptr, &m_task, filter),
          m_controller(controller),
          m_task(&controller, name) {
        if (m_task.run() != 0) throw std::runtime_error("the task did not start");
    }
    ~Subscriber() override {
        release();
        m_task.stop();
    }

    void onEvent(const CAppEventPtr&) override {}
    void onEvents(const CAppEventList& list) override {
        std::string thread;
        m_controller.taskRegistry()->find(nbx::currentThreadId(), thread);
        std::vector<std::string> texts;
        std::unique_lock<std::mutex> lock(m_mutex);
        for (const CAppEventPtr& e : list) {
            texts.push_back(e.get()->topic() + ":" + e.get()->oid());
        }
        m_deliveries.push_back(texts);
        m_threads.push_back(thread);
        m_changed.wait(lock, [this] { return !m_held; });
        if (refuse.load()) {
            NBX_THROW_STATIC(nbx::CException, "host", "Subscriber::onEvents",
                             nbx::msg("Cannot handle the events."), nbx::CMessage());
        }
    }

    std::atomic<bool> refuse{false};  // onEvents throws: the events are not handled

    void hold() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_held = true;
    }
    void release() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_held = false;
        m_changed.notify_all();
    }
    std::vector<std::vector<std::string>> deliveries() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_deliveries;
    }
    std::vector<std::string> threads() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_threads;
    }
    // Every event received, in arrival order.
    std::vector<std::string> received() const {
        std::vector<std::string> all;
        for (const auto& delivery : deliveries())
            all.insert(all.end(), delivery.begin(), delivery.end());
        return all;
    }
    // True once the task has run everything posted before this call.
    bool drained() {
        auto done = std::make_shared<std::atomic<bool>>(false);
        struct Mark : CAsyncCommand {
            explicit Mark(std::shared_ptr<std::atomic<bool>> d)
                : CAsyncCommand("cmd-test-mark"), done(d) {}
            void execute(std::uint32_t) override { done->store(true); }
            void complete() override {}
            std::shared_ptr<std::atomic<bool>> done;
        };
        CAsyncCommandPtr mark(new Mark(done));
        return eventually([&] {
                   try {
                       m_task.sendCommand(mark);
                       return true;
                   } catch (CExQueueFull&) {
                       return false;
                   }
               }) &&
               eventually([&] { return done->load(); });
    }

private:
    nbx::CIMasterController& m_controller;
    QueueTask m_task;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_held = false;
    std::vector<std::vector<std::string>> m_deliveries;
    std::vector<std::string> m_threads;
};

}  // namespace bustest
