#pragma once
// Helpers shared by the value-type tests: checking a thrown record's texts and site, and feeding
// hostile texts to the parsers.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "standard/exception.h"
#include "testing/failure.h"

namespace valuetest {

// What a test expects of a thrown record besides its module "standard" and error severity.
struct Expected {
    std::string message;
    std::string reason;
    std::string function;
};

// Runs `action` and expects an exception of type E with the given texts and site. A record of
// another type escapes, which the test reports as a failure too.
template <class E = nbx::CException>
void expectFailure(const std::function<void()>& action, const Expected& expected) {
    const nbx::testing::Failure got = nbx::testing::failure<E>(action);
    ASSERT_TRUE(got.thrown) << "no exception; expected '" << expected.message << "'";
    EXPECT_EQ(got.message, expected.message);
    EXPECT_EQ(got.reason, expected.reason);
    EXPECT_EQ(got.function, expected.function);
    EXPECT_EQ(got.module, "standard");
    EXPECT_EQ(got.severity, nbx::SEVERITY_ERROR);
}

// Samples as they are, with one character inserted or replaced, cut short, or random bytes.
inline std::vector<std::string> hostileTexts(const std::vector<std::string>& samples,
                                             const std::string& alphabet, std::size_t count = 300) {
    std::mt19937 random(20240611);
    const std::string hostile = alphabet + std::string("\0\n \xff%[]:.-", 11);
    std::vector<std::string> out;
    while (out.size() < count) {
        std::string text = samples[random() % samples.size()];
        const std::size_t at = random() % (text.size() + 1);
        switch (random() % 5) {
            case 0:
                break;
            case 1:
                text.insert(at, 1, hostile[random() % hostile.size()]);
                break;
            case 2:
                if (at < text.size()) text[at] = hostile[random() % hostile.size()];
                break;
            case 3:
                text = text.substr(0, at);
                break;
            default:
                text.clear();
                for (std::size_t i = random() % 30; i > 0; --i) text += char(random());
        }
        out.push_back(text);
    }
    return out;
}

// Reads every text through `string(text)` into a copy of `start`; only E may escape the read.
// `check(value, refused)` judges the outcome, and an accepted value must write a text that reads
// back to an equal value. Both outcomes must occur, or the texts missed the parser.
template <class E = nbx::CException, class T, class Check>
void readHostileTexts(const std::vector<std::string>& texts, const T& start, Check&& check) {
    std::size_t accepted = 0, refused = 0;
    for (const std::string& text : texts) {
        T value(start);
        try {
            value.string(text);
        } catch (E&) {
            ++refused;
            check(value, text, true);
            continue;
        }
        ++accepted;
        check(value, text, false);
        T again(start);
        again.string(value.string());
        EXPECT_EQ(again, value) << ::testing::PrintToString(text);
    }
    EXPECT_GT(accepted, 10u);
    EXPECT_GT(refused, 10u);
}

}  // namespace valuetest
