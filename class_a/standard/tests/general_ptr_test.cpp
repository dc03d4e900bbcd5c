#include "standard/general_ptr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using nbx::CException;
using nbx::CGeneralPtr;

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
        m_changed.wait(lock, [&] {
            for (const std::string& e : m_events)
                if (e == event) return true;
            return false;
        });
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

class Latch {
public:
    void open() {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

// A lockable pointee whose calls write their entry and exit to a journal.
class Service : public nbx::CLockable {
public:
    explicit Service(Journal* journal) : m_journal(journal) {}
    void call(const std::string& who, Latch* hold = nullptr) {
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
        if (object.objectMutex().try_lock()) {
            object.objectMutex().unlock();
        } else {
            taken = true;
        }
    });
    probe.join();
    return taken;
}

// A faulty pointer would let the blocked thread in within this pause; a correct one never does.
void giveWaiterAChance() {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
}

void expectNullPointee(const std::function<void()>& dereference, const char* function) {
    try {
        dereference();
        ADD_FAILURE() << function << " did not throw";
    } catch (CException& e) {
        EXPECT_EQ(e.message().text(), "Cannot dereference pointer.");
        EXPECT_EQ(e.reasonText(), "Pointee is null.");
        EXPECT_EQ(e.function(), function);
        EXPECT_EQ(e.module(), "standard");
        EXPECT_EQ(e.severity(), nbx::SEVERITY_ERROR);
        EXPECT_EQ(e.text(), "Cannot dereference pointer. (Pointee is null.)");
    }
}

}  // namespace

// --- owning policies -------------------------------------------------------------------------

template <class O>
class OwningPolicy : public ::testing::Test {};
using OwningPolicies = ::testing::Types<OwnerOf<nbx::CMTOwnerPolicy>, OwnerOf<nbx::CSTOwnerPolicy>,
                                        OwnerOf<nbx::CSTInvasiveOwnerPolicy>>;
TYPED_TEST_SUITE(OwningPolicy, OwningPolicies);

TYPED_TEST(OwningPolicy, LastOfSeveralCopiesDeletesOnce) {
    using Ptr = typename TypeParam::template Ptr<Counted>;
    int deaths = 0;
    {
        Ptr first(new Counted(&deaths, 3));
        Ptr second(first);
        Ptr third;
        third = second;
        {
            Ptr fourth(third);
            EXPECT_EQ(fourth->value, 3);
        }
        first.reset();
        EXPECT_EQ(deaths, 0);
        second.reset();
        EXPECT_EQ(deaths, 0);
        EXPECT_EQ((*third).value, 3);
    }
    EXPECT_EQ(deaths, 1);
}

TYPED_TEST(OwningPolicy, AssignmentReleasesTheOldPointee) {
    using Ptr = typename TypeParam::template Ptr<Counted>;
    int oldDeaths = 0, newDeaths = 0;
    Ptr target(new Counted(&oldDeaths, 1));
    Ptr source(new Counted(&newDeaths, 2));
    target = source;
    EXPECT_EQ(oldDeaths, 1);
    EXPECT_EQ(newDeaths, 0);
    EXPECT_EQ(target->value, 2);
    EXPECT_TRUE(target == source);
    source.reset();
    EXPECT_EQ(newDeaths, 0);
    target = Ptr();  // assigning an empty pointer releases
    EXPECT_EQ(newDeaths, 1);
    EXPECT_TRUE(target.isNull());
}

TYPED_TEST(OwningPolicy, SelfAssignmentKeepsThePointee) {
    using Ptr = typename TypeParam::template Ptr<Counted>;
    int deaths = 0;
    {
        Ptr pointer(new Counted(&deaths, 9));
        Ptr& alias = pointer;
        pointer = alias;
        EXPECT_EQ(deaths, 0);
        EXPECT_EQ(pointer->value, 9);
        pointer.reset(pointer.get());  // the pointee already held: no second count
        EXPECT_EQ(deaths, 0);
        EXPECT_EQ(pointer->value, 9);
    }
    EXPECT_EQ(deaths, 1);
}

TYPED_TEST(OwningPolicy, ResetToANewPointee) {
    using Ptr = typename TypeParam::template Ptr<Counted>;
    int firstDeaths = 0, secondDeaths = 0;
    Ptr pointer(new Counted(&firstDeaths, 1));
    Ptr keeper(pointer);
    pointer.reset(new Counted(&secondDeaths, 2));
    EXPECT_EQ(firstDeaths, 0);  // still held by keeper
    EXPECT_EQ(pointer->value, 2);
    keeper.reset();
    EXPECT_EQ(firstDeaths, 1);
    pointer.reset();
    EXPECT_EQ(secondDeaths, 1);
    pointer.reset();  // resetting an empty pointer is harmless
    EXPECT_EQ(secondDeaths, 1);
}

TYPED_TEST(OwningPolicy, BasePointerSharesTheDerivedPointersCount) {
    using DerivedPtr = typename TypeParam::template Ptr<Derived>;
    using BasePtr = typename TypeParam::template Ptr<Counted>;
    int deaths = 0, derivedDeaths = 0;
    DerivedPtr derived(new Derived(&deaths, &derivedDeaths));
    BasePtr base(derived);
    BasePtr assigned;
    assigned = derived;
    derived.reset();
    base.reset();
    EXPECT_EQ(deaths, 0);
    assigned.reset();  // the base pointer is last: the whole derived object goes
    EXPECT_EQ(deaths, 1);
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

TEST(RefCountNotOwnerPolicy, CountsCopies) {
    int deaths = 0;
    Counted object(&deaths);
    CGeneralPtr<Counted, nbx::CSTRefCountNotOwnerPolicy> first(&object);
    auto second = first;
    auto third = second;
    EXPECT_EQ(first.useCount(), 3);
    second.reset();
    EXPECT_EQ(third.useCount(), 2);
    EXPECT_EQ(deaths, 0);
}

TEST(InvasiveOwnerPolicy, CountLivesInThePointee) {
    int deaths = 0;
    Counted* raw = new Counted(&deaths);
    using Ptr = CGeneralPtr<Counted, nbx::CSTInvasiveOwnerPolicy>;
    Ptr first(raw);
    Ptr second(raw);  // made from the raw pointer again: joins the same count
    EXPECT_EQ(raw->references(), 2);
    {
        Ptr third(first);
        EXPECT_EQ(raw->references(), 3);
    }
    first.reset();
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(raw->references(), 1);
    second.reset();
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

// --- dereference -----------------------------------------------------------------------------

TEST(GeneralPtrDereference, EmptyPointerThrows) {
    using Ptr = CGeneralPtr<Counted>;
    Ptr empty;
    const Ptr constEmpty;
    expectNullPointee([&] { (void)empty->value; }, "CGeneralPtr::operator->");
    expectNullPointee([&] { (void)constEmpty->value; }, "CGeneralPtr::operator->");
    expectNullPointee([&] { (void)(*empty).value; }, "CGeneralPtr::operator*");
    expectNullPointee([&] { (void)(*constEmpty).value; }, "CGeneralPtr::operator*");

    int deaths = 0;
    Ptr released(new Counted(&deaths));
    released.reset();
    expectNullPointee([&] { (void)released->value; }, "CGeneralPtr::operator->");
}

TEST(GeneralPtrDereference, ComparesPointees) {
    int deaths = 0;
    CGeneralPtr<Counted> a(new Counted(&deaths)), b(new Counted(&deaths));
    CGeneralPtr<Counted> a2(a);
    EXPECT_TRUE(a == a2);
    EXPECT_TRUE(a != b);
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(static_cast<bool>(a));
    EXPECT_FALSE(static_cast<bool>(CGeneralPtr<Counted>()));
}

// --- method lock -----------------------------------------------------------------------------

using LockedService = CGeneralPtr<Service, nbx::CMTOwnerPolicy, nbx::CMethodLockPolicy>;

TEST(MethodLockPolicy, SecondThreadWaitsForTheFirstCall) {
    Journal journal;
    Latch hold;
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
    hold.open();
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

using SecuredAccount =
    CGeneralPtr<Account, nbx::CMTOwnerPolicy, nbx::CSecuredNoMethodLockPolicy,
                nbx::CNoObjectLockPolicy, nbx::CConstructorDeepCopyPolicy, nbx::CSecuredLockProxy>;
using SecuredAdmin =
    CGeneralPtr<AdminAccount, nbx::CMTOwnerPolicy, nbx::CSecuredNoMethodLockPolicy,
                nbx::CNoObjectLockPolicy, nbx::CConstructorDeepCopyPolicy, nbx::CSecuredLockProxy>;

}  // namespace

TEST(SecuredMethodPolicy, WithoutContextCallsReachThePointee) {
    SecuredAccount account(new Account);
    account->rename("alice");
    EXPECT_EQ((*account).name, "alice");
}

TEST(SecuredMethodPolicy, CallsPassTheContext) {
    RecordingContext context;
    SecuredAccount account(new Account);
    account.setSecurityContext(&context);
    account->rename("bob");
    const SecuredAccount& reader = account;
    EXPECT_EQ(reader->name, "bob");
    (*account).rename("carol");
    EXPECT_EQ((*reader).name, "carol");
    EXPECT_EQ(context.accesses, (std::vector<std::string>{"write", "read", "write", "read"}));
}

TEST(SecuredMethodPolicy, ContextRefusesByThrowing) {
    RecordingContext context;
    context.readOnly = true;
    SecuredAccount account(new Account);
    account.get()->name = "dave";
    account.setSecurityContext(&context);
    try {
        account->rename("mallory");
        ADD_FAILURE() << "write passed a read-only context";
    } catch (CException& e) {
        EXPECT_EQ(e.text(), "Cannot access object. (Access denied.)");
    }
    EXPECT_THROW((*account).rename("mallory"), CException);
    const SecuredAccount& reader = account;
    EXPECT_EQ(reader->name, "dave");
}

TEST(SecuredMethodPolicy, ContextDecidesWhichObjectIsReached) {
    RecordingContext context;
    Account shadow;
    context.redirect = &shadow;
    SecuredAccount account(new Account);
    account.setSecurityContext(&context);
    account->rename("erin");
    EXPECT_EQ(shadow.name, "erin");
    EXPECT_EQ(account.get()->name, "");
}

TEST(SecuredMethodPolicy, CopiesConversionsAndDeepCopiesKeepTheContext) {
    RecordingContext context;
    context.readOnly = true;
    SecuredAdmin admin(new AdminAccount);
    admin.setSecurityContext(&context);

    SecuredAdmin copy(admin);
    SecuredAccount asBase(admin);
    SecuredAccount assigned;
    assigned = admin;
    SecuredAdmin deep = admin.deepCopy();
    SecuredAdmin reset(admin);
    reset.reset(new AdminAccount);

    int refused = 0;
    const std::vector<std::function<void()>> writes = {
        [&] { copy->rename("x"); }, [&] { asBase->rename("x"); }, [&] { assigned->rename("x"); },
        [&] { deep->rename("x"); }, [&] { reset->rename("x"); },
    };
    for (std::size_t i = 0; i < writes.size(); ++i) {
        SCOPED_TRACE(i);
        try {
            writes[i]();
        } catch (CException&) {
            ++refused;
        }
    }
    EXPECT_EQ(refused, 5);
    EXPECT_EQ(admin.get()->name, "");
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
}

TEST(ObjectLockPolicy, EmptyPointerThrows) {
    LockableService empty;
    EXPECT_THROW(empty.lockObject(), CException);
    EXPECT_THROW(empty.unlockObject(), CException);
}

// --- deep copy -------------------------------------------------------------------------------

TEST(DeepCopyPolicy, CopyIsIndependent) {
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
}

TEST(DeepCopyPolicy, InvasiveCopyStartsItsOwnCount) {
    int deaths = 0;
    CGeneralPtr<Counted, nbx::CSTInvasiveOwnerPolicy> original(new Counted(&deaths, 1));
    auto shared = original;
    auto copy = original.deepCopy();
    EXPECT_EQ(copy.get()->references(), 1);
    copy.reset();
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(original->value, 1);
}

// --- multi-threaded counting -----------------------------------------------------------------

TEST(MTOwnerPolicy, CountSurvivesConcurrentCopiesAndReleases) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 100000;
    int deaths = 0;
    CGeneralPtr<Counted> shared(new Counted(&deaths, 5));
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    std::atomic<long> seen{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            ++ready;
            while (ready.load() < kThreads) std::this_thread::yield();
            std::vector<CGeneralPtr<Counted>> held;
            held.reserve(8);
            for (int i = 0; i < kRounds; ++i) {
                held.push_back(shared);  // copy
                if (held.size() == 8) {
                    CGeneralPtr<Counted> assigned;
                    assigned = held.back();  // assignment
                    seen += assigned->value;
                    held.clear();  // releases
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(seen.load(), 5L * kThreads * (kRounds / 8));
    EXPECT_EQ(shared.useCount(), 1);
    EXPECT_EQ(deaths, 0);
    shared.reset();
    EXPECT_EQ(deaths, 1);
}

TEST(MTOwnerPolicy, LastReleaseOnAnotherThreadDeletesOnce) {
    constexpr int kThreads = 4;
    for (int round = 0; round < 200; ++round) {
        int deaths = 0;
        std::vector<CGeneralPtr<Counted>> copies;
        {
            CGeneralPtr<Counted> origin(new Counted(&deaths));
            for (int t = 0; t < kThreads; ++t) copies.push_back(origin);
        }
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&copies, t] { copies[t].reset(); });
        for (std::thread& thread : threads) thread.join();
        ASSERT_EQ(deaths, 1) << "round " << round;
    }
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
