#include "host/master_controller.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "standard/throw.h"
#include "testing/failure.h"
#include "testing/recording_controller.h"

namespace {

class HostMasterController : public ::testing::Test {
protected:
    void report(const char* reason) {
        try {
            NBX_THROW_STATIC(nbx::CException, "host", "test", nbx::msg("Failed."),
                             nbx::msg(reason));
        } catch (nbx::CException& e) {
            e.report(&controller.exceptionFacade());
        }
    }

    nbx::testing::RecordingLogSink* sink = new nbx::testing::RecordingLogSink;  // owned below
    host::CMasterController controller{std::unique_ptr<nbx::CILogSink>(sink)};
};

}  // namespace

TEST_F(HostMasterController, EachThreadGetsItsOwnStackOnFirstUse) {
    nbx::CIExceptionFacade* mine = &controller.exceptionFacade();
    EXPECT_EQ(mine, &controller.exceptionFacade());  // same thread, same stack

    std::vector<nbx::CIExceptionFacade*> theirs(4, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < theirs.size(); ++i) {
        threads.emplace_back([&, i] {
            theirs[i] = &controller.exceptionFacade();
            report("on a worker");
        });
    }
    for (std::thread& t : threads) t.join();

    std::set<nbx::CIExceptionFacade*> distinct(theirs.begin(), theirs.end());
    distinct.insert(mine);
    EXPECT_EQ(distinct.size(), 5u);
    EXPECT_EQ(mine->count(), 0u);  // the workers' reports stayed on their own stacks
    EXPECT_EQ(controller.threadCount(), 5u);
}

TEST_F(HostMasterController, FlushedStackReachesTheSinkAndReleaseDropsTheEntry) {
    std::thread worker([&] {
        report("inner");
        report("outer");
        controller.exceptionFacade().flush();
        controller.releaseThread();
    });
    worker.join();
    EXPECT_EQ(sink->texts(), (std::vector<std::string>{"Failed. (inner)", "Failed. (outer)"}));
    EXPECT_EQ(controller.threadCount(), 0u);
}

TEST_F(HostMasterController, TaskRegistryIsSharedByEveryCaller) {
    CTaskRegistryPtr first = controller.taskRegistry();
    std::thread worker([&] { controller.taskRegistry()->registerTask("v4-sync-receiver"); });
    worker.join();
    EXPECT_EQ(first.get(), controller.taskRegistry().get());
    // This thread never registered, the worker did.
    EXPECT_EQ(nbx::testing::failure([&] { first->deregisterTask(); }).reason,
              "Task not registered.");
}
