#include "standard/general_ptr.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

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
