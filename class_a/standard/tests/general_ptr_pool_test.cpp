#include "standard/general_ptr_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "testing/failure.h"

using nbx::CException;
using nbx::CGeneralPtrPoolSizeException;
using nbx::testing::failure;

namespace {

struct Option {
    static std::atomic<int> deaths;
    virtual ~Option() { ++deaths; }
    std::atomic<bool> busy{false};
    int value = 0;
};
std::atomic<int> Option::deaths{0};

using OptionPtr = nbx::CGeneralPtr<Option, nbx::CMTOwnerPolicy>;
using OptionPool = nbx::CGeneralPtrPool<OptionPtr>;

class PointerPool : public ::testing::Test {
protected:
    void SetUp() override { Option::deaths = 0; }
    OptionPool::Factory counting() {
        return [this] {
            ++made;
            return new Option;
        };
    }
    std::atomic<int> made{0};
};

}  // namespace

TEST_F(PointerPool, SizeLimitsAreEnforced) {
    auto zero = failure<CGeneralPtrPoolSizeException>([] { OptionPool pool(0); });
    EXPECT_EQ(zero.text(), "Cannot create pointer pool. | Invalid pool size.");
    EXPECT_EQ(zero.function, "CGeneralPtrPool::CGeneralPtrPool");

    OptionPool pool(2, counting());
    OptionPtr first = pool.acquire(), second = pool.acquire();
    EXPECT_NE(first.get(), second.get());
    auto full = failure<CGeneralPtrPoolSizeException>([&] { pool.acquire(); });
    EXPECT_EQ(full.text(), "Cannot allocate from pointer pool. | Pool size exceeded.");
    EXPECT_EQ(full.function, "CGeneralPtrPool::acquire");

    OptionPool empty(1, [] { return static_cast<Option*>(nullptr); });
    EXPECT_EQ(failure([&] { empty.acquire(); }).text(),
              "Cannot allocate from pointer pool. | Invalid pointer.");
}

TEST_F(PointerPool, ReleasedPointeesAreReusedAndOnlyPooledOnesDieWithThePool) {
    OptionPtr outside;
    {
        OptionPool pool(2, counting());
        OptionPtr first = pool.acquire();
        outside = pool.acquire();
        Option* raw = first.get();
        first->value = 42;
        pool.release(first);
        EXPECT_TRUE(first.isNull());  // the caller's copy is emptied
        OptionPtr empty;
        pool.release(empty);               // ignored
        OptionPtr again = pool.acquire();  // no room for a new one: must be the released one
        EXPECT_EQ(again.get(), raw);
        EXPECT_EQ(again->value, 42);
        EXPECT_EQ(made.load(), 2);
        pool.release(again);
    }
    EXPECT_EQ(Option::deaths.load(), 1);
    outside.reset();  // its holder owned it
    EXPECT_EQ(Option::deaths.load(), 2);
}

TEST_F(PointerPool, ForeignOrRepeatedReleaseIsRefused) {
    OptionPool pool(2, counting());
    OptionPtr foreign(new Option);
    EXPECT_EQ(failure([&] { pool.release(foreign); }).text(),
              "Cannot return pointer to pointer pool. | Pointer is not from this pool.");
    EXPECT_FALSE(foreign.isNull());

    OptionPtr mine = pool.acquire();
    OptionPtr copy = mine;
    pool.release(mine);
    EXPECT_THROW(pool.release(copy), CException);  // the same pointee twice
    // Still in use through `copy`: handing it out again would share it between two holders.
    OptionPtr next = pool.acquire(), last = pool.acquire();
    EXPECT_NE(next.get(), copy.get());
    EXPECT_NE(last.get(), copy.get());
}

TEST_F(PointerPool, ThreadsNeverShareAPointee) {
    constexpr int kThreads = 4;
    OptionPool pool(kThreads, counting());
    std::atomic<int> shared{0}, refused{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                try {
                    OptionPtr option = pool.acquire();
                    if (option->busy.exchange(true)) ++shared;
                    option->busy = false;
                    pool.release(option);
                } catch (CGeneralPtrPoolSizeException&) {
                    ++refused;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(shared.load(), 0);
    EXPECT_EQ(refused.load(), 0);  // one each never exceeds a pool of one per thread
    EXPECT_EQ(pool.inUse(), 0u);
}
