#include "standard/multi_ptr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "testing/failure.h"

using nbx::CException;
using nbx::testing::failure;

namespace {

// Remembers the thread that made it and counts its destructions.
struct Slot {
    explicit Slot(std::atomic<int>* deaths = nullptr)
        : owner(nbx::currentThreadId()), deaths(deaths) {}
    ~Slot() {
        if (deaths) ++*deaths;
    }
    std::uint32_t owner;
    std::atomic<int>* deaths;
};

using SlotMap = nbx::CMultiPtr<Slot*, nbx::CNRMutex>;

}  // namespace

TEST(MultiPtr, LookupsAndInsertsOfTheCallingThread) {
    std::atomic<int> deaths{0};
    SlotMap map;
    auto missing = failure([&] { map.get(); });
    EXPECT_EQ(missing.text() + " @ " + missing.function,
              "Failed to find in multi-pointer. | No Thread Local Storage. @ CMultiPtr::get");
    EXPECT_EQ(map.find(), nullptr);

    Slot* first = new Slot(&deaths);
    map.insert(first);
    Slot second(&deaths);  // a refused pointer is still the caller's
    auto f = failure([&] { map.insert(&second); });
    EXPECT_EQ(f.text() + " @ " + f.function,
              "Failed to insert multi-pointer for thread id " +
                  std::to_string(nbx::currentThreadId()) +
                  ". | Thread Local Storage already exists. @ CMultiPtr::insert");
    EXPECT_EQ(failure([&] { map.insert(nullptr); }).reason, "Invalid pointer.");
    EXPECT_EQ(map.get(), first);
    EXPECT_EQ(deaths.load(), 0);
}

TEST(MultiPtr, RemoveAndDestructionDeleteWhatTheMapHolds) {
    std::atomic<int> deaths{0};
    {
        SlotMap map;
        map.insert(new Slot(&deaths));
        EXPECT_TRUE(map.remove());
        EXPECT_EQ(deaths.load(), 1);
        EXPECT_FALSE(map.remove());
        EXPECT_THROW(map.get(), CException);

        map.insert(new Slot(&deaths));  // the thread may insert again after a remove
        std::uint32_t otherId = 0;
        std::thread([&] {
            otherId = nbx::currentThreadId();
            map.insert(new Slot(&deaths));
        }).join();
        EXPECT_EQ(map.size(), 2u);
        EXPECT_TRUE(map.remove(otherId));  // a joined thread's entry, removed by its owner
        EXPECT_EQ(deaths.load(), 2);
        EXPECT_EQ(map.size(), 1u);
    }
    EXPECT_EQ(deaths.load(), 3);
}

TEST(MultiPtr, FailedOrReentrantCreation) {
    SlotMap map;
    EXPECT_THROW(map.getOrCreate([]() -> Slot* { throw std::runtime_error("no memory"); }),
                 std::runtime_error);
    EXPECT_THROW(map.getOrCreate([]() -> Slot* { return nullptr; }), CException);
    EXPECT_EQ(map.size(), 0u);

    // The factory may consult the map (the lock is not held while it runs).
    Slot* made = map.getOrCreate([&] {
        EXPECT_EQ(map.find(), nullptr);
        return new Slot;
    });
    EXPECT_EQ(map.get(), made);
    EXPECT_EQ(map.getOrCreate(), made);
}

TEST(MultiPtr, ThreadsCreateInsertAndRemoveTheirOwnPointersConcurrently) {
    SlotMap map;
    std::atomic<int> deaths{0}, wrong{0}, made{0};
    constexpr int kThreads = 4;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                Slot* mine = new Slot(&deaths);
                map.insert(mine);
                if (map.get() != mine || map.get()->owner != nbx::currentThreadId()) ++wrong;
                if (!map.remove()) ++wrong;
            }
            auto make = [&] {
                ++made;
                return new Slot(&deaths);
            };
            Slot* created = map.getOrCreate(make);
            // made on the thread it belongs to, and only once
            if (created->owner != nbx::currentThreadId() || map.getOrCreate(make) != created) {
                ++wrong;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(made.load(), kThreads);
    EXPECT_EQ(map.size(), static_cast<std::size_t>(kThreads));
    EXPECT_EQ(deaths.load(), kThreads * 1000);
}
