#include "standard/task_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "standard/mr_event.h"
#include "standard/sync.h"

namespace {

std::string failureText(const nbx::CException& thrown, std::string* module = nullptr) {
    nbx::CException copy(thrown);
    if (module) *module = copy.module();
    return copy.text();
}

TEST(TaskRegistryTest, RegistersTheCallingThreadUnderItsName) {
    CTaskRegistryPtr registry(new CTaskRegistry);
    registry->registerTask("v4-sync-receiver");
    std::string name;
    ASSERT_TRUE(registry->find(nbx::currentThreadId(), name));
    EXPECT_EQ(name, "v4-sync-receiver");
    registry->deregisterTask();
    EXPECT_FALSE(registry->find(nbx::currentThreadId(), name));
}

TEST(TaskRegistryTest, RegisteringTwiceOrDeregisteringAnUnknownThreadThrows) {
    CTaskRegistryPtr registry(new CTaskRegistry);
    const std::string id = std::to_string(nbx::currentThreadId());
    std::string module;

    registry->registerTask("first");
    try {
        registry->registerTask("second");
        FAIL() << "a thread was registered twice";
    } catch (const nbx::CException& thrown) {
        EXPECT_EQ(failureText(thrown, &module), "Failed to register thread " + id +
                                                    " with name second in the task registry. "
                                                    "(Task already registered.)");
        EXPECT_EQ(module, "standard");
    }
    std::string name;
    ASSERT_TRUE(registry->find(nbx::currentThreadId(), name));
    EXPECT_EQ(name, "first") << "a refused registration replaced the first";

    registry->deregisterTask();
    try {
        registry->deregisterTask();
        FAIL() << "an unknown thread was de-registered";
    } catch (const nbx::CException& thrown) {
        EXPECT_EQ(failureText(thrown, &module),
                  "Failed to de-register thread " + id +
                      " from the task registry. (Task not registered.)");
        EXPECT_EQ(module, "standard");
    }
}

TEST(TaskRegistryTest, ThreadsRegisterConcurrentlyThroughTheLockingPointer) {
    CTaskRegistryPtr registry(new CTaskRegistry);
    constexpr int kThreads = 8;
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
