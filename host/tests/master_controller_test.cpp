#include "host/master_controller.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "standard/throw.h"
#include "testing/failure.h"
#include "testing/recording_controller.h"

namespace {

// The controller owns its sink; the test keeps a view of it.
struct ControllerWithRecorder {
    ControllerWithRecorder() {
        auto owned = std::make_unique<nbx::testing::RecordingLogSink>();
        sink = owned.get();
        controller = std::make_unique<host::CMasterController>(std::move(owned));
    }
    nbx::testing::RecordingLogSink* sink;
    std::unique_ptr<host::CMasterController> controller;
};

void reportFailure(nbx::CIExceptionFacade& facade, const char* reason) {
    try {
        NBX_THROW_STATIC(nbx::CException, "host", "test", nbx::msg("Failed."), nbx::msg(reason));
    } catch (nbx::CException& e) {
        e.report(&facade);
    }
}

}  // namespace

TEST(HostMasterController, EachThreadGetsItsOwnStackOnFirstUse) {
    ControllerWithRecorder host;
    nbx::CIExceptionFacade* mine = &host.controller->exceptionFacade();
    EXPECT_EQ(mine, &host.controller->exceptionFacade());  // same thread, same stack

    std::vector<nbx::CIExceptionFacade*> theirs(4, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < theirs.size(); ++i) {
        threads.emplace_back([&, i] {
            theirs[i] = &host.controller->exceptionFacade();
            reportFailure(*theirs[i], "on a worker");
        });
    }
    for (std::thread& t : threads) t.join();

    std::set<nbx::CIExceptionFacade*> distinct(theirs.begin(), theirs.end());
    distinct.insert(mine);
    EXPECT_EQ(distinct.size(), 5u);
    EXPECT_EQ(mine->count(), 0u);  // the workers' reports stayed on their own stacks
    EXPECT_EQ(host.controller->threadCount(), 5u);
}

TEST(HostMasterController, FlushedStackReachesTheSinkAndReleaseDropsTheEntry) {
    ControllerWithRecorder host;
    std::thread worker([&] {
        nbx::CIExceptionFacade& facade = host.controller->exceptionFacade();
        reportFailure(facade, "inner");
        reportFailure(facade, "outer");
        facade.flush();
        host.controller->releaseThread();
    });
    worker.join();
    EXPECT_EQ(host.sink->texts(), (std::vector<std::string>{"Failed. (inner)", "Failed. (outer)"}));
    EXPECT_EQ(host.controller->threadCount(), 0u);
}

TEST(HostMasterController, TaskRegistryIsSharedByEveryCaller) {
    ControllerWithRecorder host;
    CTaskRegistryPtr first = host.controller->taskRegistry();
    std::thread worker([&] { host.controller->taskRegistry()->registerTask("v4-sync-receiver"); });
    worker.join();
    EXPECT_EQ(first.get(), host.controller->taskRegistry().get());
    // This thread never registered, the worker did.
    EXPECT_EQ(nbx::testing::failure([&] { first->deregisterTask(); }).reason,
              "Task not registered.");
}
