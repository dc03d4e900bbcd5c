#include "standard/exception.h"

#include <errno.h>
#include <gtest/gtest.h>

#include "standard/exception_facade.h"
#include "standard/message_store.h"
#include "standard/throw.h"
#include "testing/failure.h"

using nbx::CException;
using nbx::CMessage;
using nbx::msg;
using nbx::testing::failure;

namespace {

class Thrower {
public:
    virtual ~Thrower() = default;
    void fail() {
        NBX_THROW(CException, "dhcp_sync", "Thrower::fail", msg("Failed to start task."),
                  msg("Task is already running."));
    }
};

// A stack that only keeps what is pushed.
class CountingFacade : public nbx::CIExceptionFacade {
public:
    void push(const nbx::CExceptionPtr& e) override { list.push_back(e); }
    void clear() override { list.clear(); }
    std::uint32_t severity() const override { return 0; }
    void text(std::string&) override {}
    void summary(std::string&) override {}
    void flush() override {}
    std::size_t count() const override { return list.size(); }
    nbx::CExceptionPtr inner() const override { return list.front(); }
    nbx::CExceptionPtr outer() const override { return list.back(); }
    const nbx::CExceptionList& exceptions() const override { return list; }
    nbx::CExceptionList& exceptions() override { return list; }
    nbx::CExceptionList list;
};

}  // namespace

TEST(ExceptionRecord, ThrowSiteFillsEveryField) {
    Thrower thrower;
    try {
        thrower.fail();
        FAIL() << "no throw";
    } catch (CException& e) {
        EXPECT_EQ(e.className(), "(anonymous namespace)::Thrower");
        EXPECT_NE(e.file().find("exception_test.cpp"), std::string::npos);
        EXPECT_GT(e.line(), 0u);
        EXPECT_EQ(e.module(), "dhcp_sync");
        EXPECT_EQ(e.function(), "Thrower::fail");
        EXPECT_EQ(e.severity(), nbx::SEVERITY_ERROR);
        EXPECT_EQ(e.object(), &thrower);
        EXPECT_EQ(e.text(), "Failed to start task. (Task is already running.)");
        std::string where;
        e.location(where);
        EXPECT_EQ(where, e.className() + ", " + e.file() + ", " + std::to_string(e.line()));
    }
    try {
        NBX_THROW_STATIC(CException, "standard", "free", msg("m"), CMessage());
    } catch (CException& e) {
        EXPECT_EQ(e.className(), "static");
        EXPECT_EQ(e.object(), nullptr);
        EXPECT_EQ(e.text(), "m");  // no reason, no code: no parentheses
    }
}

TEST(ExceptionRecord, ReasonFallsBackToTheSystemTextOfTheCode) {
    const auto withCode = [](std::uint32_t code) {
        return failure([code] {
            NBX_THROW_STATIC_CODE(CException, "standard", "f", msg("Cannot open '%1'.", "/x"),
                                  CMessage(), code);
        });
    };
    EXPECT_EQ(withCode(ENOENT).code, static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(withCode(ENOENT).text(), "Cannot open '/x'. | No such file or directory");
    EXPECT_EQ(withCode(99999).reason, "Unknown error code 99999");
    EXPECT_EQ(CException::errorText(0), "");
}

NBX_DECLARE_EXCEPTION(TestDerived, CException);

TEST(ExceptionRecord, ReportPushesOneCloneAndCopiesStartUnreported) {
    CountingFacade facade;
    TestDerived record;
    record.setMessage(CMessage("once"));
    record.report(&facade);
    record.report(&facade);
    EXPECT_TRUE(record.reported());
    ASSERT_EQ(facade.list.size(), 1u);
    EXPECT_NE(facade.list.front().get(), &record);  // a heap clone, of the derived type
    EXPECT_NE(dynamic_cast<TestDerived*>(facade.list.front().get()), nullptr);
    EXPECT_EQ(facade.list.front()->text(), "once");

    CException copy(record);
    copy.report(nullptr);  // no stack: nothing happens, still unreported
    copy.report(&facade);
    EXPECT_EQ(facade.list.size(), 2u);
}

TEST(SeverityMask, NamesAllAndStarAndRefusesUnknownNames) {
    EXPECT_EQ(CException::severityMask(""), 0u);
    EXPECT_EQ(CException::severityMask("error, warning ,info"), 7u);
    EXPECT_EQ(CException::severityMask("all"), 0xFFFFFFFFu);
    EXPECT_EQ(CException::severityMask("error,*"), 0xFFFFFFFFu);
    EXPECT_EQ(CException::severityText(63), "error,warning,info,audit,debug,verbose");

    auto f = failure([] { CException::severityMask("error,loud"); });
    EXPECT_EQ(f.text(), "Cannot parse severity mask 'loud'. | Invalid value.");
    EXPECT_EQ(f.function, "CException::severityMask");
}
