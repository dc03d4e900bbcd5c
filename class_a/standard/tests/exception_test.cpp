#include "standard/exception.h"

#include <errno.h>
#include <gtest/gtest.h>

#include "standard/exception_facade.h"
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
        EXPECT_GT(e.line(), 0u);
        EXPECT_EQ(e.module(), "dhcp_sync");
        EXPECT_EQ(e.function(), "Thrower::fail");
        EXPECT_EQ(e.severity(), nbx::SEVERITY_ERROR);
        EXPECT_EQ(e.object(), &thrower);
        EXPECT_EQ(e.text(), "Failed to start task. (Task is already running.)");
        std::string where;
        e.location(where);
        EXPECT_EQ(where, e.className() + ", " + __FILE__ + ", " + std::to_string(e.line()));
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

TEST(MessageFormat, PlaceholdersAreReplacedInArgumentOrder) {
    const std::pair<CMessage, const char*> cases[] = {
        {msg("Failed to send command '%1' to task '%2'.", "cmd-x", "v4-sync-receiver"),
         "Failed to send command 'cmd-x' to task 'v4-sync-receiver'."},
        {msg("%2 before %1", 1, 2), "2 before 1"},
        {msg("plain %1 text"), "plain %1 text"},  // no arguments leave the format
        {msg("%1%1", "a"), "a%1"},  // a placeholder directly after an inserted argument stays
        {msg("%%1%%%2%%%%%", "a", "b"), "%a%%b%%%%%"},  // stray percent signs do not crash
        {msg("%0 %-1 %", 1), "%0 %-1 %"},
    };
    for (const auto& [message, text] : cases) EXPECT_EQ(CMessage(message).text(), text);
    CMessage message("%10|%1");
    for (int i = 1; i <= 10; ++i) message.push(i * 100);
    // "%1" is searched first and eats the start of "%10": argument 10 never appears.
    EXPECT_EQ(message.text(), "1000|100");
}

TEST(MessageFormat, EveryArgumentTypeRendersAsItsCFormat) {
    CMessage message("%1 %2 %3 %4 %5 %6 %7 %8 %9");
    message.push(static_cast<signed char>(-5))
        .push(static_cast<unsigned char>(250))
        .push(static_cast<short>(-300))
        .push(static_cast<unsigned short>(65000))
        .pushLong(-70000)
        .pushULong(4000000000u)
        .push(-7)
        .push(7u)
        .push(2.5);
    EXPECT_EQ(message.text(), "-5 250 -300 65000 -70000 4000000000 -7 7 2.5");
    EXPECT_EQ(msg("%1/%2", true, false).text(), "true/false");
    // 64-bit values show their low 32 bits.
    EXPECT_EQ(msg("%1", 4294967296ull + 7).text(), "7");
    EXPECT_EQ(msg("%1", 0x1FFFFFFFFll).text(), "-1");
}

TEST(MessageArguments, LongStringsGoToTheHeapAndSurviveCopies) {
    const std::string shortText(199, 's');  // 200 bytes with its NUL: stays in the buffer
    const std::string longText(5000, 'L');
    CMessage original("%1|%2");
    original.push(shortText).push(longText);
    CMessage copy(original), assigned;
    assigned = copy;
    { CMessage temporary(original); }
    for (CMessage* message : {&copy, &assigned, &original}) {
        EXPECT_EQ(message->text(), shortText + "|" + longText);
    }
}

TEST(MessageArguments, TooManyArgumentsOrTooLittleSpaceIsRefused) {
    CMessage hundred("%100");
    for (int i = 1; i <= 100; ++i) hundred.push(static_cast<signed char>(i));
    auto many = failure([&] { hundred.push(1); });
    EXPECT_EQ(many.text(),
              "Cannot process message argument for message '%100'. | Too many arguments.");
    EXPECT_EQ(many.function, "CMessage::_checkSpace");

    const std::string format(600, 'f');
    CMessage message(format);
    const std::string piece(150, 'p');                // 151 bytes each
    for (int i = 0; i < 6; ++i) message.push(piece);  // 906 bytes used
    // The format is cut in the message text.
    EXPECT_EQ(failure([&] { message.push(piece); }).text(),
              "Cannot process message argument for message '" + format.substr(0, 500) +
                  "...'. | Not enough buffer space.");
    // A long string needs only its 16-byte reference and still fits.
    message.push(std::string(300, 'q'));
    EXPECT_EQ(message.argumentCount(), 7u);
    EXPECT_EQ(failure([&] { message.push(static_cast<const char*>(nullptr)); }).reason,
              "Invalid pointer.");
}
