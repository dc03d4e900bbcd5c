#include "rconsole_base/rconsole_framing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <type_traits>
#include <vector>

#include "rconsole_base/rconsole_block_splitter.h"
#include "rconsole_base/rconsole_command_splitter.h"

namespace {

using Strings = std::vector<std::string>;

// Feeds `text` to a new splitter in pieces cut at `cuts` (ascending positions) and returns what
// it split off; `ended` tells whether a block splitter saw the end of the response, `pending`
// what a command splitter keeps.
template <class Splitter>
Strings splitAt(const std::string& text, const std::vector<std::size_t>& cuts,
                bool* ended = nullptr, std::size_t* pending = nullptr) {
    Splitter splitter;
    Strings out;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        splitter.feed(text.data() + from, cut - from, out);
        from = cut;
    }
    splitter.feed(text.data() + from, text.size() - from, out);
    if constexpr (std::is_same_v<Splitter, CRConsoleBlockSplitter>) {
        if (ended) *ended = splitter.ended();
    } else {
        if (pending) *pending = splitter.pending();
    }
    return out;
}

std::vector<std::size_t> everyByte(const std::string& text) {
    std::vector<std::size_t> cuts;
    for (std::size_t i = 1; i < text.size(); ++i) cuts.push_back(i);
    return cuts;
}

}  // namespace

TEST(RConsoleFramingTest, CommandEndsInExactlyTwoNewlinesAndSplitsBackAsSent) {
    const struct {
        const char *command, *wire, *split;
    } cases[] = {
        {"show", "show\n\n", "show"},
        {"show\n\n\n", "show\n\n", "show"},
        {"sync_pool\nname=a\nsize=2\n", "sync_pool\nname=a\nsize=2\n\n",
         "sync_pool\nname=a\nsize=2"},
        {"", "\n\n", ""},
        {"keep blanks \n", "keep blanks \n\n", "keep blanks "},
    };
    std::string all;
    Strings expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(CRConsoleFraming::command(c.command), c.wire);
        all += c.wire;
        expected.push_back(c.split);
    }
    std::size_t pending = 1;
    EXPECT_EQ(splitAt<CRConsoleCommandSplitter>(all, {}, nullptr, &pending), expected);
    EXPECT_EQ(pending, 0u);
}

TEST(RConsoleFramingTest, ResponseTextOfBlocksSplitsBackIntoThem) {
    nbx::CStringMap ack;
    ack.set("code", "ack");
    ack.set("message", "two\nlines");
    nbx::CStringMap nak;
    nak.set("code", "nak");
    EXPECT_EQ(CRConsoleFraming::response({ack, nak}),
              "code=ack\nmessage=two lines\n-\ncode=nak\n\n");
    EXPECT_EQ(CRConsoleFraming::response({}), " \n\n");
    const std::vector<nbx::CStringMap> blocks{nak, nbx::CStringMap(), nak};
    const std::string text = CRConsoleFraming::response(blocks);
    EXPECT_EQ(text, "code=nak\n-\n \n-\ncode=nak\n\n");
    bool ended = false;
    const Strings split = splitAt<CRConsoleBlockSplitter>(text, {}, &ended);
    EXPECT_TRUE(ended);
    ASSERT_EQ(split.size(), blocks.size());
    for (std::size_t i = 0; i < split.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(nbx::CStringMap(split[i], "\n").string(), blocks[i].string());
    }
}

TEST(RConsoleBlockSplitterTest, BlocksOfOneChunk) {
    const struct {
        const char* name;
        std::string response;
        Strings blocks;
        bool ended;
    } cases[] = {
        {"two blocks", "a=1\nb=2\n-\nc=3\n\n", {"a=1\nb=2\n", "\nc=3\n"}, true},
        {"rest of a separator line starts the next block",
         "a=1\n-x=2\n\n",
         {"a=1\n", "x=2\n"},
         true},
        {"bytes after the end are ignored", "a=1\n\nb=2\n-\n\n", {"a=1\n"}, true},
        {"no byte after the last newline yet", "a=1\nb=2\n", {}, false},
        {"separator seen, response goes on", "a=1\n-\nb=2\n", {"a=1\n"}, false},
        {"minus inside a line is data", "a=-1\nb=x-y\n\n", {"a=-1\nb=x-y\n"}, true},
        {"empty response line", "\n\n", {"\n"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool ended = false;
        EXPECT_EQ(splitAt<CRConsoleBlockSplitter>(c.response, {}, &ended), c.blocks);
        EXPECT_EQ(ended, c.ended);
    }
}

TEST(RConsoleFramingTest, EveryCutGivesTheSameResult) {
    const std::string response = "code=ack\nmessage=outdated\n-\ncode=ack\n-x=1\n-\n \nlast=1\n\n";
    const Strings blocks{"code=ack\nmessage=outdated\n", "\ncode=ack\n", "x=1\n", "\n \nlast=1\n"};
    // Two commands, the second behind cipher padding, then the start of a third.
    const std::string commands =
        std::string("set_context=4\n\n\0\0\0", 18) + "sync_pool\nname=a\n\nnext";
    const Strings split{"set_context=4", "sync_pool\nname=a"};
    for (std::size_t cut = 0; cut <= response.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        bool ended = false;
        EXPECT_EQ(splitAt<CRConsoleBlockSplitter>(response, {cut}, &ended), blocks);
        EXPECT_TRUE(ended);
        std::size_t pending = 0;
        EXPECT_EQ(splitAt<CRConsoleCommandSplitter>(commands, {std::min(cut, commands.size())},
                                                    nullptr, &pending),
                  split);
        EXPECT_EQ(pending, 4u);
    }
    EXPECT_EQ(splitAt<CRConsoleBlockSplitter>(response, everyByte(response)), blocks);
    EXPECT_EQ(splitAt<CRConsoleCommandSplitter>(commands, everyByte(commands)), split);
}

TEST(RConsoleBlockSplitterTest, KeepsThePendingLineCountsEveryByteAndStartsAfreshOnReset) {
    CRConsoleBlockSplitter splitter;
    Strings blocks;
    EXPECT_FALSE(splitter.feed("a=1\n", 4, blocks));
    EXPECT_EQ(splitter.pending(), "a=1\n");
    EXPECT_FALSE(splitter.feed("-", 1, blocks));  // the byte after the newline splits it off
    EXPECT_EQ(splitter.pending(), "");
    EXPECT_TRUE(splitter.feed("\n\n", 2, blocks));
    EXPECT_TRUE(splitter.feed("more", 4, blocks));  // counted, and ignored
    EXPECT_EQ(blocks, (Strings{"a=1\n", "\n"}));
    EXPECT_EQ(splitter.received(), 11u);

    splitter.reset();
    EXPECT_FALSE(splitter.ended());
    EXPECT_TRUE(splitter.feed("b=2\n\n", 5, blocks));
    EXPECT_EQ(blocks.back(), "b=2\n");
    EXPECT_EQ(splitter.received(), 5u);
}
