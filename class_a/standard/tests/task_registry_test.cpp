#include "standard/task_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "standard/mr_event.h"
#include "standard/sync.h"
#include "testing/failure.h"

namespace {

using nbx::testing::failure;

TEST(TaskRegistryTest, RegistersTheCallingThreadOnceUnderItsName) {
    CTaskRegistryPtr registry(new CTaskRegistry);
    const std::string id = std::to_string(nbx::currentThreadId());
    registry->registerTask("v4-sync-receiver");
    auto twice = failure([&] { registry->registerTask("second"); });
    EXPECT_EQ(twice.text(), "Failed to register thread " + id +
                                " with name second in the task registry. | "
                                "Task already registered.");
    std::string name;
    ASSERT_TRUE(registry->find(nbx::currentThreadId(), name));
    EXPECT_EQ(name, "v4-sync-receiver") << "a refused registration replaced the first";

    registry->deregisterTask();
    EXPECT_FALSE(registry->find(nbx::currentThreadId(), name));
    auto unknown = failure([&] { registry->deregisterTask(); });
    EXPECT_EQ(unknown.text(), "Failed to de-register thread " + id +
                                  " from the task registry. | Task not registered.");
}

TEST(TaskRegistryTest, ThreadsRegisterConcurrentlyThroughTheLockingPointer) {
    CTaskRegistryPtr registry(new CTaskRegistry);
    constexpr int kThreads = 4;
    nbx::CMREvent allRegistered;
    nbx::CMREvent allChecked;
    std::atomic<int> registered{0};
    std::atomic<int> checked{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            registry->registerTask("task-" + std::to_string(i));
            if (++registered == kThreads) allRegistered.signal();
            allRegistered.wait();
            // Every other registration must be visible, and each thread keeps its own name.
            std::string name;
            EXPECT_TRUE(registry->find(nbx::currentThreadId(), name));
            EXPECT_EQ(name, "task-" + std::to_string(i));
            EXPECT_EQ(registry->size(), static_cast<std::size_t>(kThreads));
            if (++checked == kThreads) allChecked.signal();
            allChecked.wait();
            registry->deregisterTask();
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(registry->size(), 0u);
}

}  // namespace
