#include "standard/general_ptr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "standard/mr_event.h"
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

// Ordered record of what the threads of a test did.
class Journal {
public:
    void add(const std::string& event) {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_events.push_back(event);
        }
        m_changed.notify_all();
    }
    void waitFor(const std::string& event) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return std::count(m_events.begin(), m_events.end(), event); });
    }
    std::vector<std::string> events() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_events;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
};

// A lockable pointee whose calls write their entry and exit to a journal.
class Service : public nbx::CLockable {
public:
    explicit Service(Journal* journal) : m_journal(journal) {}
    void call(const std::string& who, nbx::CMREvent* hold = nullptr) {
        m_journal->add("enter " + who);
        if (hold) hold->wait();
        m_journal->add("exit " + who);
    }
    int peek() const { return 7; }

private:
    Journal* m_journal;
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

// A faulty pointer would let the blocked thread in within this pause; a correct one never does.
void giveWaiterAChance() {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
}

}  // namespace

// --- owning policies -------------------------------------------------------------------------

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

// --- not-owning policies ---------------------------------------------------------------------

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
            Ptr second(first);
            Ptr third;
            third = second;
            third = third;
            EXPECT_EQ(third->value, 4);
            first.reset();
            second.reset(new Counted(&deaths, 5));  // a heap pointee is not deleted either
            Counted* heap = second.get();
            second.reset();
            EXPECT_EQ(deaths, 0);
            delete heap;
            EXPECT_EQ(deaths, 1);
        }
        EXPECT_EQ(deaths, 1);
    }
    EXPECT_EQ(deaths, 2);  // the stack object's own end
}

TEST(CountingPolicies, RefCountNotOwnerCountsAndTheInvasiveCountLivesInThePointee) {
    int deaths = 0;
    Counted object(&deaths);
    CGeneralPtr<Counted, nbx::CSTRefCountNotOwnerPolicy> first(&object);
    auto second = first;
    auto third = second;
    EXPECT_EQ(first.useCount(), 3);
    second.reset();
    EXPECT_EQ(third.useCount(), 2);

    Counted* raw = new Counted(&deaths);
    using Ptr = CGeneralPtr<Counted, nbx::CSTInvasiveOwnerPolicy>;
    Ptr one(raw);
    Ptr two(raw);  // made from the raw pointer again: joins the same count
    EXPECT_EQ(raw->references(), 2);
    {
        Ptr three(one);
        EXPECT_EQ(raw->references(), 3);
    }
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

// --- dereference and comparison --------------------------------------------------------------

TEST(GeneralPtrDereference, EmptyPointerThrowsAndPointeesCompare) {
    using Ptr = CGeneralPtr<Counted>;
    int deaths = 0;
    Ptr empty, released(new Counted(&deaths));
    released.reset();
    const Ptr constEmpty;
    const std::pair<const char*, std::function<void()>> dereferences[] = {
        {"CGeneralPtr::operator->", [&] { (void)empty->value; }},
        {"CGeneralPtr::operator->", [&] { (void)constEmpty->value; }},
        {"CGeneralPtr::operator->", [&] { (void)released->value; }},
        {"CGeneralPtr::operator*", [&] { (void)(*empty).value; }},
        {"CGeneralPtr::operator*", [&] { (void)(*constEmpty).value; }},
    };
    for (const auto& [function, dereference] : dereferences) {
        SCOPED_TRACE(function);
        auto f = failure(dereference);
        EXPECT_EQ(f.text(), "Cannot dereference pointer. | Pointee is null.");
        EXPECT_EQ(f.function, function);
        EXPECT_EQ(f.module, "standard");
        EXPECT_EQ(f.severity, nbx::SEVERITY_ERROR);
    }

    Ptr a(new Counted(&deaths)), b(new Counted(&deaths));
    Ptr a2(a);
    EXPECT_TRUE(a == a2);
    EXPECT_TRUE(a != b);
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(static_cast<bool>(a));
    EXPECT_FALSE(static_cast<bool>(empty));
}

// --- method lock -----------------------------------------------------------------------------

using LockedService = CGeneralPtr<Service, nbx::CMTOwnerPolicy, nbx::CMethodLockPolicy>;

TEST(MethodLockPolicy, SecondThreadWaitsForTheFirstCall) {
    Journal journal;
    nbx::CMREvent hold;
    LockedService service(new Service(&journal));

    std::thread first([&] { service->call("A", &hold); });
    journal.waitFor("enter A");
    std::thread second([&] {
        LockedService mine(service);
        journal.add("calling B");
        mine->call("B");
    });
    journal.waitFor("calling B");
    giveWaiterAChance();
    journal.add("release A");
    hold.signal();
    first.join();
    second.join();

    EXPECT_EQ(journal.events(), (std::vector<std::string>{"enter A", "calling B", "release A",
                                                          "exit A", "enter B", "exit B"}));
}

TEST(MethodLockPolicy, ProxyHoldsTheLockToTheEndOfTheFullExpression) {
    Journal journal;
    Service object(&journal);
    CGeneralPtr<Service, nbx::CSTNotOwnerPolicy, nbx::CMethodLockPolicy> locked(&object);
    CGeneralPtr<Service, nbx::CSTNotOwnerPolicy, nbx::CNoMethodLockPolicy> plain(&object);

    bool heldDuringCall = (locked->peek(), lockedElsewhere(object));
    EXPECT_TRUE(heldDuringCall);
    EXPECT_FALSE(lockedElsewhere(object));  // released with the proxy

    bool heldByPlain = (plain->peek(), lockedElsewhere(object));
    EXPECT_FALSE(heldByPlain);

    {
        auto proxy = locked.operator->();
        EXPECT_TRUE(lockedElsewhere(object));
        EXPECT_EQ(proxy->peek(), 7);
    }
    EXPECT_FALSE(lockedElsewhere(object));

    const auto& constLocked = locked;
    bool heldByConst = (constLocked->peek(), lockedElsewhere(object));
    EXPECT_TRUE(heldByConst);
}

// --- secured method policy -------------------------------------------------------------------

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
    admin->rename("bob");
    const Secured<AdminAccount>& reader = admin;
    EXPECT_EQ(reader->name, "bob");
    (*admin).rename("carol");
    EXPECT_EQ((*reader).name, "carol");
    EXPECT_EQ(context.accesses, (std::vector<std::string>{"write", "read", "write", "read"}));

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
    Secured<AdminAccount> copy(admin), deep = admin.deepCopy(), reset(admin);
    Secured<Account> asBase(admin), assigned;
    assigned = admin;
    reset.reset(new AdminAccount);
    const std::function<void()> writes[] = {
        [&] { (*admin).rename("x"); },  [&] { copy->rename("x"); }, [&] { asBase->rename("x"); },
        [&] { assigned->rename("x"); }, [&] { deep->rename("x"); }, [&] { reset->rename("x"); }};
    for (std::size_t i = 0; i < std::size(writes); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(failure(writes[i]).thrown);
    }
    EXPECT_EQ(reader->name, "carol");
}

// --- object lock -----------------------------------------------------------------------------

using LockableService =
    CGeneralPtr<Service, nbx::CMTOwnerPolicy, nbx::CMethodLockPolicy, nbx::CObjectLockPolicy>;

TEST(ObjectLockPolicy, LockExcludesASecondThread) {
    Journal journal;
    LockableService service(new Service(&journal));

    service.lockObject();
    journal.add("locked by test");
    std::thread other([&] {
        LockableService mine(service);
        journal.add("other locking");
        mine.lockObject();
        journal.add("locked by other");
        mine->call("other");  // a method-locked call of the same thread inside its object lock
        mine.unlockObject();
    });
    journal.waitFor("other locking");
    giveWaiterAChance();
    service->call("test");  // the owner of the object lock may still call through ->
    journal.add("unlocking");
    service.unlockObject();
    other.join();

    EXPECT_EQ(journal.events(), (std::vector<std::string>{
                                    "locked by test", "other locking", "enter test", "exit test",
                                    "unlocking", "locked by other", "enter other", "exit other"}));

    LockableService empty;
    EXPECT_THROW(empty.lockObject(), CException);
    EXPECT_THROW(empty.unlockObject(), CException);
}

// --- deep copy -------------------------------------------------------------------------------

TEST(DeepCopyPolicy, CopyIsIndependentAndStartsItsOwnCount) {
    int deaths = 0;
    CGeneralPtr<Counted> original(new Counted(&deaths, 1));
    CGeneralPtr<Counted> copy = original.deepCopy();
    ASSERT_FALSE(copy.isNull());
    EXPECT_FALSE(copy == original);
    copy->value = 2;
    EXPECT_EQ(original->value, 1);
    original.reset();
    EXPECT_EQ(deaths, 1);
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

// --- multi-threaded counting -----------------------------------------------------------------

TEST(MTOwnerPolicy, ConcurrentCopiesKeepTheCountAndTheLastReleaseDeletesOnce) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 100000;
    int deaths = 0;
    CGeneralPtr<Counted> shared(new Counted(&deaths, 5));
    std::atomic<long> seen{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                CGeneralPtr<Counted> copy(shared), assigned;
                assigned = copy;
                seen += assigned->value;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(seen.load(), 5L * kThreads * kRounds);
    EXPECT_EQ(shared.useCount(), 1);
    shared.reset();
    EXPECT_EQ(deaths, 1);

    // Copies released at once on several threads: exactly one release deletes.
    for (int round = 0; round < 200; ++round) {
        deaths = 0;
        std::vector<CGeneralPtr<Counted>> copies(kThreads,
                                                 CGeneralPtr<Counted>(new Counted(&deaths)));
        threads.clear();
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&copies, t] { copies[t].reset(); });
        for (std::thread& thread : threads) thread.join();
        ASSERT_EQ(deaths, 1) << "round " << round;
    }
}
