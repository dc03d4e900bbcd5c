#include "standard/general_ptr.h"

#include <gtest/gtest.h>

#include <atomic>
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
        EXPECT_EQ(otherDeaths, 2);
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
    {
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
    EXPECT_EQ(deaths, 1);  // the stack object's own end
}

TEST(CountingPolicies, RefCountNotOwnerCountsAndTheInvasiveCountLivesInThePointee) {
    int deaths = 0;
    Counted object(&deaths);
    CGeneralPtr<Counted, nbx::CSTRefCountNotOwnerPolicy> first(&object);
    auto second = first;
    EXPECT_EQ(first.useCount(), 2);

    Counted* raw = new Counted(&deaths);
    using Ptr = CGeneralPtr<Counted, nbx::CSTInvasiveOwnerPolicy>;
    Ptr one(raw);
    Ptr two(raw);  // made from the raw pointer again: joins the same count
    EXPECT_EQ(raw->references(), 2);
    one.reset();
    EXPECT_EQ(raw->references(), 1);
    EXPECT_EQ(deaths, 0);
    two.reset();
    EXPECT_EQ(deaths, 1);
}

// A pointer that is reassigned from a pointer living inside its own old pointee.
class Node {
public:
    explicit Node(int* deaths) : m_deaths(deaths) {}
    virtual ~Node() { ++*m_deaths; }
    CGeneralPtr<Node, nbx::CMTOwnerPolicy, nbx::CSecuredNoMethodLockPolicy> next;

private:
    int* m_deaths;
};

TEST(GeneralPtrAssignment, SourceOwnedByTheOldPointee) {
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
}

namespace {

// Looks at the pointer that holds it while it is being destroyed.
class Watcher {
public:
    using Ptr = CGeneralPtr<Watcher, nbx::CSTOwnerPolicy>;
    Watcher(const Ptr* holder, std::vector<bool>* sawEmpty)
        : m_holder(holder), m_sawEmpty(sawEmpty) {}
    ~Watcher() { m_sawEmpty->push_back(m_holder->isNull()); }

private:
    const Ptr* m_holder;
    std::vector<bool>* m_sawEmpty;
};

}  // namespace

TEST(GeneralPtrRelease, PointeeDestructorFindsTheReleasingPointerEmpty) {
    std::vector<bool> sawEmpty;
    Watcher::Ptr holder;
    holder.reset(new Watcher(&holder, &sawEmpty));
    holder.reset();
    holder.reset(new Watcher(&holder, &sawEmpty));
    holder.reset(new Watcher(&holder, &sawEmpty));  // replaces the second
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
        EXPECT_EQ(f.text(), "Cannot dereference pointer. | Pointee is null.");
        EXPECT_EQ(f.function, function);
        EXPECT_EQ(f.module, "standard");
    }
}

TEST(LockPolicies, MethodLockHoldsToTheEndOfTheExpressionAndObjectLockUntilUnlocked) {
    Service object;
    CGeneralPtr<Service, nbx::CSTNotOwnerPolicy, nbx::CMethodLockPolicy> locked(&object);
    CGeneralPtr<Service, nbx::CSTNotOwnerPolicy, nbx::CNoMethodLockPolicy> plain(&object);
    bool heldDuringCall = (locked->peek(), lockedElsewhere(object));
    EXPECT_TRUE(heldDuringCall);
    EXPECT_FALSE(lockedElsewhere(object));  // released with the proxy
    bool heldByPlain = (plain->peek(), lockedElsewhere(object));
    EXPECT_FALSE(heldByPlain);

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
    ASSERT_FALSE(copy.isNull());
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
    EXPECT_EQ(invasive->value, 1);
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
