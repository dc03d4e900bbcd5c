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

namespace valuetest {

struct Failure {
    std::string message;
    std::string reason;
    std::string function;
};

// Runs `action` and expects an exception of type E with the given texts, site and module
// "standard". A record of another type counts as a failure, not as an escape.
template <class E = nbx::CException>
void expectFailure(const std::function<void()>& action, const Failure& expected) {
    try {
        action();
        ADD_FAILURE() << "no exception; expected '" << expected.message << "'";
    } catch (nbx::CException& e) {
        EXPECT_NE(dynamic_cast<E*>(&e), nullptr) << "wrong exception type for: " << e.text();
        EXPECT_EQ(e.message().text(), expected.message);
        EXPECT_EQ(e.reason().text(), expected.reason);
        EXPECT_EQ(e.function(), expected.function);
        EXPECT_EQ(e.module(), "standard");
        EXPECT_EQ(e.message().module(), "standard");
        EXPECT_EQ(e.severity(), nbx::SEVERITY_ERROR);
    }
}

// Texts built from the samples: truncations, single-character mutations, splices and random
// strings over `alphabet` plus a few hostile bytes. Same seed, same texts.
inline std::vector<std::string> hostileTexts(const std::vector<std::string>& samples,
                                             const std::string& alphabet, std::size_t count,
                                             std::uint32_t seed = 20240611) {
    std::mt19937 random(seed);
    static const char kHostile[] = "\0\n\t \x7f\xff%[]:.-";
    const std::string hostile = alphabet + std::string(kHostile, sizeof kHostile - 1);
    auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    std::vector<std::string> out;
    out.reserve(count);
    while (out.size() < count) {
        const std::string& sample = samples[pick(samples.size())];
        std::string text;
        switch (pick(5)) {
            case 0:  // truncated
                text = sample.substr(0, pick(sample.size() + 1));
                break;
            case 1: {  // one character replaced, inserted or removed
                text = sample;
                const std::size_t at = pick(text.size() + 1);
                const char c = hostile[pick(hostile.size())];
                const std::size_t how = pick(3);
                if (how == 0 && at < text.size()) {
                    text[at] = c;
                } else if (how == 1 || text.empty()) {
                    text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), c);
                } else if (at < text.size()) {
                    text.erase(at, 1);
                }
                break;
            }
            case 2: {  // two samples spliced
                const std::string& other = samples[pick(samples.size())];
                text = sample.substr(0, pick(sample.size() + 1)) +
                       other.substr(pick(other.size() + 1));
                break;
            }
            case 3: {  // random over the alphabet
                const std::size_t length = pick(40);
                for (std::size_t i = 0; i < length; ++i) text += alphabet[pick(alphabet.size())];
                break;
            }
            default: {  // random bytes, sometimes long
                const std::size_t length = pick(8) == 0 ? 300 + pick(700) : pick(30);
                for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(pick(256));
                break;
            }
        }
        out.push_back(text);
    }
    return out;
}

// Reads every text through `string(text)` into a copy of `start`; only E may escape the read.
// `check(value, text, refused)` judges the outcome, and an accepted value must write a text that
// reads back to an equal value. Both outcomes must be common, or the texts missed the parser.
template <class E = nbx::CException, class T, class Check>
void readHostileTexts(const std::vector<std::string>& texts, const T& start, Check&& check,
                      std::size_t minAccepted = 100) {
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
    EXPECT_GT(accepted, minAccepted);
    EXPECT_GT(refused, 100u);
}

}  // namespace valuetest
