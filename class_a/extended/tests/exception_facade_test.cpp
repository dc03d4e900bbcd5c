#include "extended/exception_facade.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "standard/throw.h"
#include "testing/failure.h"
#include "testing/recording_controller.h"

using nbx::CException;
using nbx::CExceptionFacade;
using nbx::CExceptionPtr;
using nbx::CMessage;
using nbx::msg;

namespace {

CExceptionPtr record(CMessage message, CMessage reason = CMessage(),
                     std::uint32_t severity = nbx::SEVERITY_ERROR, std::uint32_t code = 0) {
    return CExceptionPtr(
        new CException(nbx::makeException(NBX_STATIC_SITE("dhcp_sync", "test"), std::move(message),
                                          std::move(reason), code, severity)));
}

class ExceptionFacadeTest : public ::testing::Test {
protected:
    nbx::testing::RecordingController controller;
    CExceptionFacade facade{&controller};
};

}  // namespace

TEST_F(ExceptionFacadeTest, KeepsPushOrderInnermostFirstAndSummarises) {
    std::string text = "stale";
    facade.text(text);
    EXPECT_EQ(text, "");
    std::string summary;
    facade.summary(summary);
    EXPECT_EQ(summary, "<No data>");
    facade.push(record(CMessage()));  // a record without text still takes its place
    facade.push(record(msg("Second.")));
    facade.text(text);
    EXPECT_EQ(text, " / Second.");
    facade.clear();

    CExceptionPtr cause =
        record(msg("Cannot open file '%1'.", "/spool/1"), CMessage(), nbx::SEVERITY_ERROR, ENOENT);
    CExceptionPtr middle = record(msg("Cannot read transaction log."));
    CExceptionPtr failure = record(msg("Failed to publish to %1.", "peer-a"),
                                   msg("Peer unreachable."), nbx::SEVERITY_WARNING);
    facade.push(cause);
    facade.push(middle);
    facade.push(failure);

    EXPECT_EQ(facade.count(), 3u);
    EXPECT_TRUE(facade.inner() == cause);
    EXPECT_TRUE(facade.outer() == failure);
    EXPECT_EQ(facade.severity(), nbx::SEVERITY_WARNING);
    facade.text(text);
    EXPECT_EQ(text,
              "Cannot open file '/spool/1'. (No such file or directory) / Cannot read "
              "transaction log. / Failed to publish to peer-a. (Peer unreachable.)");
    // Innermost text with the outermost reason, made on a copy: the record keeps its own.
    facade.summary(summary);
    EXPECT_EQ(summary, "Cannot open file '/spool/1'. (Peer unreachable.)");
    EXPECT_EQ(cause->text(), "Cannot open file '/spool/1'. (No such file or directory)");
    EXPECT_TRUE(controller.sink().entries().empty());  // pushing logs nothing
}

TEST_F(ExceptionFacadeTest, EmptyStackRefusesSeverityInnerOuter) {
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { facade.severity(); },
         "Cannot compute exception severity. | CExceptionFacade::severity"},
        {[&] { facade.inner(); }, "Cannot retrieve inner exception. | CExceptionFacade::inner"},
        {[&] { facade.outer(); }, "Cannot retrieve outer exception. | CExceptionFacade::outer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        const nbx::testing::Failure f = nbx::testing::failure(c.first);
        EXPECT_EQ(f.message + " | " + f.function, c.second);
        EXPECT_EQ(f.reason, "Exception stack is empty.");
        EXPECT_EQ(f.module, "extended");
        EXPECT_EQ(f.severity, nbx::SEVERITY_ERROR);
    }
}

TEST_F(ExceptionFacadeTest, TwentySixthPushLogsExhaustionAndEmptiesTheStack) {
    for (int i = 1; i <= 25; ++i) facade.push(record(msg("Failure %1.", i)));
    EXPECT_EQ(facade.count(), 25u);
    EXPECT_TRUE(controller.sink().entries().empty());

    facade.push(record(msg("Failure %1.", 26)));
    EXPECT_EQ(facade.count(), 0u);
    const std::vector<nbx::testing::LogEntry> entries = controller.sink().entries();
    ASSERT_EQ(entries.size(), 27u);
    EXPECT_EQ(entries[0].severity, 4u);
    EXPECT_EQ(entries[0].module, "extended");
    EXPECT_EQ(entries[0].text,
              "The exception stack is exhausted. The next 26 message(s) are from the exception "
              "stack.");
    EXPECT_EQ(entries[1].text, "Failure 1.");
    EXPECT_EQ(entries[26].text, "Failure 26.");

    // The stack starts over: 25 more fit again.
    controller.sink().clear();
    for (int i = 0; i < 25; ++i) facade.push(record(msg("Again.")));
    EXPECT_TRUE(controller.sink().entries().empty());

    CExceptionFacade alone(nullptr);  // without a controller the stack still empties
    for (int i = 0; i < 26; ++i) alone.push(record(msg("x")));
    EXPECT_EQ(alone.count(), 0u);
}

TEST_F(ExceptionFacadeTest, FlushHandsTheListToTheSinkAndClears) {
    facade.flush();  // an empty stack logs nothing
    EXPECT_TRUE(controller.sink().entries().empty());

    CExceptionPtr kept = record(msg("Inner."), msg("Why."), nbx::SEVERITY_DEBUG);
    facade.push(kept);
    facade.push(record(msg("Outer."), CMessage(), nbx::SEVERITY_AUDIT));
    facade.flush();
    EXPECT_EQ(facade.count(), 0u);
    const std::vector<nbx::testing::LogEntry> entries = controller.sink().entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].text, "Inner. (Why.)");
    EXPECT_EQ(entries[0].severity, nbx::SEVERITY_DEBUG);
    EXPECT_EQ(entries[1].text, "Outer.");
    EXPECT_EQ(entries[1].severity, nbx::SEVERITY_AUDIT);
    EXPECT_EQ(kept.useCount(), 1);  // the stack let go of its share

    facade.push(record(msg("Dropped.")));
    facade.clear();  // clear does not log
    EXPECT_EQ(facade.count(), 0u);
    EXPECT_EQ(controller.sink().entries().size(), 2u);
}
