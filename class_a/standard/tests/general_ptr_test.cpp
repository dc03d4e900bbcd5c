#include "standard/general_ptr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "standard/general_ptr_pool.h"
#include "testing/failure.h"

using nbx::CException;
using nbx::CGeneralPtr;
using nbx::testing::failure;

namespace {

// A pointee that counts its destructions; CRefCounted so that the invasive policy can hold it.
class Counted : public nbx::CRefCounted {
public:
    explicit Counted(int* deaths, int value = 0) : value(value), m_deaths(deaths) {}
    ~Counted() override { ++*m_deaths; }
    int value;

private:
    int* m_deaths;
};

class Derived : public Counted {
public:
    Derived(int* deaths, int* derivedDeaths) : Counted(deaths), m_derivedDeaths(derivedDeaths) {}
    ~Derived() override { ++*m_derivedDeaths; }

private:
    int* m_derivedDeaths;
};

template <template <class> class Owner>
struct OwnerOf {
    template <class T>
    using Ptr = CGeneralPtr<T, Owner>;
};

}  // namespace

template <class O>
class OwningPolicy : public ::testing::Test {};
using OwningPolicies = ::testing::Types<OwnerOf<nbx::CMTOwnerPolicy>, OwnerOf<nbx::CSTOwnerPolicy>,
                                        OwnerOf<nbx::CSTInvasiveOwnerPolicy>>;
TYPED_TEST_SUITE(OwningPolicy, OwningPolicies);

TYPED_TEST(OwningPolicy, CopiesAssignmentsAndResetsDeleteOnceAtTheLastRelease) {
    using Ptr = typename TypeParam::template Ptr<Counted>;
    int deaths = 0, otherDeaths = 0;
    {
        Ptr first(new Counted(&deaths, 3));
        Ptr second(first);
        Ptr third(new Counted(&otherDeaths, 1));
        third = second;  // releases its old pointee at once
        EXPECT_EQ(otherDeaths, 1);
        EXPECT_TRUE(third == first);
        Ptr& alias = third;
        third = alias;
        third.reset(third.get());  // the pointee already held: no second count
        { Ptr fourth(third); }
        second.reset(new Counted(&otherDeaths, 2));  // first and third still hold the old one
        first.reset();
        EXPECT_EQ(deaths, 0);
        EXPECT_EQ((*third).value, 3);
        EXPECT_EQ(second->value, 2);
        second = Ptr();  // assigning an empty pointer releases
        EXPECT_EQ(otherDeaths, 2);
        EXPECT_TRUE(second.isNull());
        second.reset();  // resetting an empty pointer is harmless
    }
    EXPECT_EQ(deaths, 1);  // third, the last holder, went out of scope

    // A base pointer made from a derived one joins its count and deletes the whole object.
    int derivedDeaths = 0;
    typename TypeParam::template Ptr<Derived> derived(new Derived(&deaths, &derivedDeaths));
    Ptr base(derived), assigned;
    assigned = derived;
    derived.reset();
    base.reset();
    EXPECT_EQ(derivedDeaths, 0);
    assigned.reset();
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(derivedDeaths, 1);
}

template <class O>
class NotOwningPolicy : public ::testing::Test {};
using NotOwningPolicies =
    ::testing::Types<OwnerOf<nbx::CMTNotOwnerPolicy>, OwnerOf<nbx::CSTNotOwnerPolicy>,
                     OwnerOf<nbx::CSTRefCountNotOwnerPolicy>>;
TYPED_TEST_SUITE(NotOwningPolicy, NotOwningPolicies);

TYPED_TEST(NotOwningPolicy, NeverDeletes) {
    using Ptr = typename TypeParam::template Ptr<Counted>;
    int deaths = 0;
    Counted object(&deaths, 4);  // on the stack: a delete would be caught at once
    {
        Ptr first(&object);
        Ptr second(first), third;
        third = second;
        EXPECT_EQ(third->value, 4);
        first.reset();
    }
    EXPECT_EQ(deaths, 0);
}

TEST(CountingPolicies, RefCountNotOwnerCountsAndTheInvasiveCountLivesInThePointee) {
    int deaths = 0;
    Counted object(&deaths);
    CGeneralPtr<Counted, nbx::CSTRefCountNotOwnerPolicy> first(&object);
    auto second = first;
    EXPECT_EQ(first.useCount(), 2);

    Counted* raw = new Counted(&deaths);
    using Ptr = CGeneralPtr<Counted, nbx::CSTInvasiveOwnerPolicy>;
    Ptr one(raw), two(raw);  // made from the raw pointer again: joins the same count
    EXPECT_EQ(raw->references(), 2);
    one.reset();
    EXPECT_EQ(deaths, 0);
    two.reset();
    EXPECT_EQ(deaths, 1);
}

namespace {

// Owns the next node: a pointer reassigned from a pointer living inside its own old pointee.
struct Node {
    explicit Node(int* deaths) : deaths(deaths) {}
    virtual ~Node() { ++*deaths; }
    int* deaths;
    CGeneralPtr<Node, nbx::CMTOwnerPolicy, nbx::CSecuredNoMethodLockPolicy> next;
};

// Looks at the pointer that holds it while it is being destroyed.
struct Watcher {
    using Ptr = CGeneralPtr<Watcher, nbx::CSTOwnerPolicy>;
    ~Watcher() { sawEmpty->push_back(holder->isNull()); }
    const Ptr* holder;
    std::vector<bool>* sawEmpty;
};

}  // namespace

TEST(GeneralPtrRelease, SourceOwnedByTheOldPointeeAndThePointeeFindsItsPointerEmpty) {
    int deaths = 0;
    CGeneralPtr<Node, nbx::CMTOwnerPolicy, nbx::CSecuredNoMethodLockPolicy> head(new Node(&deaths));
    head.get()->next.reset(new Node(&deaths));
    head.get()->next.get()->next.reset(new Node(&deaths));
    // Releasing the old head destroys the very pointer being copied from.
    head = head.get()->next;
    EXPECT_EQ(deaths, 1);
    head = head.get()->next;
    EXPECT_EQ(deaths, 2);
    head.reset();
    EXPECT_EQ(deaths, 3);

    std::vector<bool> sawEmpty;
    Watcher::Ptr holder;
    holder.reset(new Watcher{&holder, &sawEmpty});
    holder.reset();
    holder.reset(new Watcher{&holder, &sawEmpty});
    holder.reset(new Watcher{&holder, &sawEmpty});  // replaces the second
    holder = Watcher::Ptr();                        // releases the third
    EXPECT_EQ(sawEmpty, (std::vector<bool>{true, true, true}));
}

TEST(GeneralPtrDereference, EmptyPointerThrows) {
    CGeneralPtr<Counted> empty;
    const std::pair<const char*, std::function<void()>> dereferences[] = {
        {"CGeneralPtr::operator->", [&] { (void)empty->value; }},
        {"CGeneralPtr::operator*", [&] { (void)(*empty).value; }},
    };
    for (const auto& [function, dereference] : dereferences) {
        auto f = failure(dereference);
        EXPECT_EQ(f.text() + " @ " + f.function,
                  std::string("Cannot dereference pointer. | Pointee is null. @ ") + function);
        EXPECT_EQ(f.module, "standard");
    }
}

namespace {

struct Service : nbx::CLockable {
    int peek() const { return 7; }
};

// Whether another thread finds the pointee's mutex taken.
bool lockedElsewhere(const nbx::CLockable& object) {
    bool taken = false;
    std::thread probe([&] {
        taken = !object.objectMutex().try_lock();
        if (!taken) object.objectMutex().unlock();
    });
    probe.join();
    return taken;
}

}  // namespace

TEST(LockPolicies, MethodLockHoldsToTheEndOfTheExpressionAndObjectLockUntilUnlocked) {
    Service object;
    CGeneralPtr<Service, nbx::CSTNotOwnerPolicy, nbx::CMethodLockPolicy> locked(&object);
    CGeneralPtr<Service, nbx::CSTNotOwnerPolicy, nbx::CNoMethodLockPolicy> plain(&object);
    EXPECT_TRUE((locked->peek(), lockedElsewhere(object)));
    EXPECT_FALSE(lockedElsewhere(object));  // released with the proxy
    EXPECT_FALSE((plain->peek(), lockedElsewhere(object)));

    CGeneralPtr<Service, nbx::CSTNotOwnerPolicy, nbx::CMethodLockPolicy, nbx::CObjectLockPolicy>
        lockable(&object);
    lockable.lockObject();
    EXPECT_TRUE(lockedElsewhere(object));
    EXPECT_EQ(lockable->peek(), 7);  // the owner of the object lock may still call through ->
    EXPECT_TRUE(lockedElsewhere(object));
    lockable.unlockObject();
    EXPECT_FALSE(lockedElsewhere(object));

    decltype(lockable) empty;
    EXPECT_THROW(empty.lockObject(), CException);
    EXPECT_THROW(empty.unlockObject(), CException);
}

namespace {

struct Account {
    virtual ~Account() = default;
    std::string name;
    void rename(const std::string& to) { name = to; }
};
struct AdminAccount : Account {};

// Records every access and refuses writes when told to.
class RecordingContext : public nbx::CISecurityContext {
public:
    void* access(void* pointee, bool forWrite) override {
        accesses.push_back(forWrite ? "write" : "read");
        if (forWrite && readOnly) {
            NBX_THROW(CException, "security", "RecordingContext::access",
                      nbx::msg("Cannot access object."), nbx::msg("Access denied."));
        }
        return redirect ? redirect : pointee;
    }
    std::vector<std::string> accesses;
    bool readOnly = false;
    void* redirect = nullptr;
};

template <class T>
using Secured =
    CGeneralPtr<T, nbx::CMTOwnerPolicy, nbx::CSecuredNoMethodLockPolicy, nbx::CNoObjectLockPolicy,
                nbx::CConstructorDeepCopyPolicy, nbx::CSecuredLockProxy>;

}  // namespace

TEST(SecuredMethodPolicy, ContextSeesEveryCallAndMayRedirectOrRefuseIt) {
    Secured<AdminAccount> admin(new AdminAccount);
    admin->rename("alice");  // without a context calls reach the pointee
    EXPECT_EQ((*admin).name, "alice");
    RecordingContext context;
    admin.setSecurityContext(&context);
    admin->rename("carol");
    const Secured<AdminAccount>& reader = admin;
    EXPECT_EQ((*reader).name, "carol");
    EXPECT_EQ(context.accesses, (std::vector<std::string>{"write", "read"}));

    AdminAccount shadow;
    context.redirect = &shadow;
    admin->rename("erin");
    EXPECT_EQ(shadow.name, "erin");
    EXPECT_EQ(admin.get()->name, "carol");
    context.redirect = nullptr;

    // A refusal reaches the caller, also through copies, conversions and deep copies.
    context.readOnly = true;
    EXPECT_EQ(failure([&] { admin->rename("mallory"); }).text(),
              "Cannot access object. | Access denied.");
    Secured<AdminAccount> deep = admin.deepCopy(), reset(admin);
    Secured<Account> assigned;
    assigned = admin;
    reset.reset(new AdminAccount);
    EXPECT_TRUE(failure([&] { (*admin).rename("x"); }).thrown);
    EXPECT_TRUE(failure([&] { assigned->rename("x"); }).thrown);
    EXPECT_TRUE(failure([&] { deep->rename("x"); }).thrown);
    EXPECT_TRUE(failure([&] { reset->rename("x"); }).thrown);
    EXPECT_EQ(reader->name, "carol");
}

TEST(DeepCopyPolicy, CopyIsIndependentAndStartsItsOwnCount) {
    int deaths = 0;
    CGeneralPtr<Counted> original(new Counted(&deaths, 1));
    CGeneralPtr<Counted> copy = original.deepCopy();
    copy->value = 2;
    EXPECT_EQ(original->value, 1);
    original.reset();
    EXPECT_EQ(copy->value, 2);
    copy.reset();
    EXPECT_EQ(deaths, 2);
    EXPECT_TRUE(CGeneralPtr<Counted>().deepCopy().isNull());

    CGeneralPtr<Counted, nbx::CSTInvasiveOwnerPolicy> invasive(new Counted(&deaths, 1));
    auto shared = invasive;
    auto invasiveCopy = invasive.deepCopy();
    EXPECT_EQ(invasiveCopy.get()->references(), 1);
    invasiveCopy.reset();
    EXPECT_EQ(deaths, 3);
}

TEST(MTOwnerPolicy, ConcurrentCopiesKeepTheCountAndExactlyOneReleaseDeletes) {
    constexpr int kThreads = 4;
    for (int round = 0; round < 20; ++round) {
        int deaths = 0;
        std::vector<CGeneralPtr<Counted>> copies(kThreads,
                                                 CGeneralPtr<Counted>(new Counted(&deaths)));
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&copies, t] {
                for (int i = 0; i < 1000; ++i) {
                    CGeneralPtr<Counted> copy(copies[t]), assigned;
                    assigned = copy;
                }
                copies[t].reset();
            });
        }
        for (std::thread& thread : threads) thread.join();
        ASSERT_EQ(deaths, 1) << "round " << round;
    }
}

namespace {

struct Option {
    explicit Option(std::atomic<int>* deaths) : deaths(deaths) {}
    virtual ~Option() { ++*deaths; }
    std::atomic<int>* deaths;
    std::atomic<bool> busy{false};
    int value = 0;
};

using OptionPtr = CGeneralPtr<Option, nbx::CMTOwnerPolicy>;
using OptionPool = nbx::CGeneralPtrPool<OptionPtr>;

// Pools whose pointees count their deaths and are counted as they are made.
class PointerPool : public ::testing::Test {
protected:
    OptionPool::Factory counting() {
        return [this] {
            ++made;
            return new Option(&deaths);
        };
    }
    std::atomic<int> made{0}, deaths{0};
};

}  // namespace

TEST_F(PointerPool, SizeLimitsAreEnforced) {
    auto zero = failure<nbx::CGeneralPtrPoolSizeException>([&] { OptionPool pool(0, counting()); });
    EXPECT_EQ(
        zero.text() + " @ " + zero.function,
        "Cannot create pointer pool. | Invalid pool size. @ CGeneralPtrPool::CGeneralPtrPool");
    OptionPool pool(2, counting());
    OptionPtr first = pool.acquire(), second = pool.acquire();
    EXPECT_NE(first.get(), second.get());
    auto full = failure<nbx::CGeneralPtrPoolSizeException>([&] { pool.acquire(); });
    EXPECT_EQ(
        full.text() + " @ " + full.function,
        "Cannot allocate from pointer pool. | Pool size exceeded. @ CGeneralPtrPool::acquire");
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
    EXPECT_EQ(deaths.load(), 1);
    outside.reset();  // its holder owned it
    EXPECT_EQ(deaths.load(), 2);
}

TEST_F(PointerPool, ForeignOrRepeatedReleaseIsRefused) {
    OptionPool pool(2, counting());
    OptionPtr foreign(new Option(&deaths));
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
                } catch (nbx::CGeneralPtrPoolSizeException&) {
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
