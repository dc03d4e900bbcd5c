#include "standard/message.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "standard/exception.h"
#include "testing/failure.h"

using nbx::CException;
using nbx::CMessage;
using nbx::msg;
using nbx::testing::failure;

TEST(MessageFormat, PlaceholdersAreReplacedInArgumentOrder) {
    struct Case {
        CMessage message;
        const char* text;
    };
    const Case cases[] = {
        {msg("Failed to send command '%1' to task '%2'.", "cmd-x", "v4-sync-receiver"),
         "Failed to send command 'cmd-x' to task 'v4-sync-receiver'."},
        {msg("%2 before %1", 1, 2), "2 before 1"},
        // No arguments leave the format; extra arguments are ignored.
        {msg("plain %1 text"), "plain %1 text"},
        // A placeholder directly after an inserted argument stays.
        {msg("%1%1", "a"), "a%1"},
        // Stray percent signs and odd counts do not crash.
        {msg("%%1%%%2%%%%%", "a", "b"), "%a%%b%%%%%"},
        {msg("%0 %-1 %", 1), "%0 %-1 %"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CMessage(c.message).text(), c.text);
    }
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

TEST(MessageArguments, TooManyArgumentsOrTooLittleSpaceIsRefused) {
    CMessage hundred("%100");
    for (int i = 1; i <= 100; ++i) hundred.push(static_cast<signed char>(i));
    EXPECT_EQ(hundred.argumentCount(), 100u);
    auto many = failure([&] { hundred.push(1); });
    EXPECT_EQ(many.text(),
              "Cannot process message argument for message '%100'. | Too many arguments.");
    EXPECT_EQ(many.function, "CMessage::_checkSpace");
    EXPECT_EQ(many.module, "standard");

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
