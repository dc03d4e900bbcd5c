#include "standard/message.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "standard/exception.h"

using nbx::CException;
using nbx::CMessage;
using nbx::msg;

namespace {

// Runs `push` and returns the reason text of the exception it throws.
template <class F>
std::string failureReason(F&& push) {
    try {
        push();
    } catch (CException& e) {
        return e.reason().text();
    }
    return "<no exception>";
}

}  // namespace

TEST(MessageFormat, PlaceholdersAreReplacedInArgumentOrder) {
    EXPECT_EQ(msg("Failed to send command '%1' to task '%2'.", "cmd-x", "v4-sync-receiver").text(),
              "Failed to send command 'cmd-x' to task 'v4-sync-receiver'.");
    EXPECT_EQ(msg("%2 before %1", 1, 2).text(), "2 before 1");
    EXPECT_EQ(msg("twice: %1 and %1", "x").text(), "twice: x and x");
}

TEST(MessageFormat, NoArgumentsLeavesFormatAndExtraArgumentsAreIgnored) {
    EXPECT_EQ(msg("plain %1 text").text(), "plain %1 text");
    EXPECT_EQ(msg("no placeholder", 1, "two").text(), "no placeholder");
}

TEST(MessageFormat, PlaceholderDirectlyAfterAnInsertedArgumentStays) {
    EXPECT_EQ(msg("%1%1", "a").text(), "a%1");
    EXPECT_EQ(msg("%1%1", "").text(), "%1");
}

TEST(MessageFormat, TokenOfArgumentOneAlsoMatchesTenToNineteen) {
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
    EXPECT_EQ(msg("%1", std::string("str")).text(), "str");
}

TEST(MessageFormat, SixtyFourBitValuesShowTheirLowThirtyTwoBits) {
    EXPECT_EQ(msg("%1", 4294967296ull + 7).text(), "7");
    EXPECT_EQ(msg("%1", 4294967295ul).text(), "4294967295");
    EXPECT_EQ(msg("%1", static_cast<long>(-1)).text(), "-1");
    EXPECT_EQ(msg("%1", 0x1FFFFFFFFll).text(), "-1");  // low 32 bits of a signed value
}

TEST(MessageArguments, LongStringsGoToTheHeapAndSurviveCopies) {
    const std::string shortText(199, 's');  // 200 bytes with its NUL: stays in the buffer
    const std::string longText(5000, 'L');
    CMessage original("%1|%2");
    original.push(shortText).push(longText);
    CMessage copy(original);
    CMessage assigned;
    assigned = copy;
    { CMessage temporary(original); }
    EXPECT_EQ(copy.text(), shortText + "|" + longText);
    EXPECT_EQ(assigned.text(), shortText + "|" + longText);
    EXPECT_EQ(original.text(), shortText + "|" + longText);
}

TEST(MessageArguments, OneHundredArgumentsFitAndTheNextIsRefused) {
    CMessage message("%100");
    for (int i = 1; i <= 100; ++i) message.push(static_cast<signed char>(i));
    EXPECT_EQ(message.argumentCount(), 100u);
    EXPECT_EQ(failureReason([&] { message.push(1); }), "Too many arguments.");
    try {
        message.push(1);
    } catch (CException& e) {
        EXPECT_EQ(e.message().text(), "Cannot process message argument for message '%100'.");
        EXPECT_EQ(e.function(), "CMessage::_checkSpace");
        EXPECT_EQ(e.module(), "standard");
        EXPECT_EQ(e.object(), &message);
    }
}

TEST(MessageArguments, BufferOverflowIsRefusedWithATruncatedFormat) {
    const std::string format(600, 'f');
    CMessage message(format);
    const std::string piece(150, 'p');                // 151 bytes each
    for (int i = 0; i < 6; ++i) message.push(piece);  // 906 bytes used
    EXPECT_EQ(failureReason([&] { message.push(piece); }), "Not enough buffer space.");
    try {
        message.push(piece);
    } catch (CException& e) {
        EXPECT_EQ(e.message().text(), "Cannot process message argument for message '" +
                                          format.substr(0, 500) + "...'.");
    }
    // A long string needs only its 16-byte reference and still fits.
    message.push(std::string(300, 'q'));
    EXPECT_EQ(message.argumentCount(), 7u);
}

TEST(MessageArguments, NullStringPointerIsRefused) {
    CMessage message("%1");
    EXPECT_EQ(failureReason([&] { message.push(static_cast<const char*>(nullptr)); }),
              "Invalid pointer.");
}

TEST(MessageArguments, StrayPercentSignsAndHugeCountsDoNotCrash) {
    CMessage message("%%1%%%2%%%%%");
    message.push("a").push("b");
    EXPECT_EQ(message.text(), "%a%%b%%%%%");
    EXPECT_EQ(msg("%0 %-1 %", 1).text(), "%0 %-1 %");
}
