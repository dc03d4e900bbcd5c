#include "rconsole_base/rconsole_framing.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "rconsole_base/rconsole_block_splitter.h"
#include "rconsole_base/rconsole_command_splitter.h"

namespace {

using Strings = std::vector<std::string>;

// What a new splitter splits off `text` fed in two pieces cut at `cut`, or byte by byte when
// `cut` lies past the end; `state` gets ended() of a block splitter or pending() of a command
// splitter.
template <class Splitter, class State>
Strings split(const std::string& text, std::size_t cut, State& state) {
    Splitter splitter;
    Strings out;
    if (cut > text.size()) {
        for (char c : text) splitter.feed(&c, 1, out);
    } else {
        splitter.feed(text.data(), cut, out);
        splitter.feed(text.data() + cut, text.size() - cut, out);
    }
    if constexpr (std::is_same_v<Splitter, CRConsoleBlockSplitter>) {
        state = splitter.ended();
    } else {
        state = splitter.pending();
    }
    return out;
}

}  // namespace

TEST(RConsoleFramingTest, CommandsEndInTwoNewlinesAndSplitBackAsSentWhereverCut) {
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
    // Each behind cipher padding, then the start of one more.
    std::string wire;
    Strings expected;
    for (const auto& c : cases) {
        EXPECT_EQ(CRConsoleFraming::command(c.command), c.wire);
        wire += std::string(3, '\0') + c.wire;
        expected.push_back(c.split);
    }
    wire += "next";
    for (std::size_t cut = 0; cut <= wire.size() + 1; ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        std::size_t pending = 0;
        EXPECT_EQ(split<CRConsoleCommandSplitter>(wire, cut, pending), expected);
        EXPECT_EQ(pending, 4u);
    }
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
    const Strings parts = split<CRConsoleBlockSplitter>(text, 0, ended);
    EXPECT_TRUE(ended);
    ASSERT_EQ(parts.size(), blocks.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        EXPECT_EQ(nbx::CStringMap(parts[i], "\n").string(), blocks[i].string());
    }
}

TEST(RConsoleBlockSplitterTest, SameBlocksWhereverTheChunksAreCut) {
    const struct {
        const char* name;
        std::string response;
        Strings blocks;
        bool ended;
    } cases[] = {
        {"two blocks", "a=1\nb=2\n-\nc=3\n\n", {"a=1\nb=2\n", "\nc=3\n"}, true},
        {"rest of a separator line starts the next block",
         "a=1\n-x=2\n-\n \nlast=1\n\n",
         {"a=1\n", "x=2\n", "\n \nlast=1\n"},
         true},
        {"bytes after the end are ignored", "a=1\n\nb=2\n-\n\n", {"a=1\n"}, true},
        {"no byte after the last newline yet", "a=1\nb=2\n", {}, false},
        {"separator seen, response goes on", "a=1\n-\nb=2\n", {"a=1\n"}, false},
        {"minus inside a line is data", "a=-1\nb=x-y\n\n", {"a=-1\nb=x-y\n"}, true},
        {"empty response line", "\n\n", {"\n"}, true},
    };
    for (const auto& c : cases) {
        for (std::size_t cut = 0; cut <= c.response.size() + 1; ++cut) {
            SCOPED_TRACE(std::string(c.name) + ", cut at " + std::to_string(cut));
            bool ended = !c.ended;
            EXPECT_EQ(split<CRConsoleBlockSplitter>(c.response, cut, ended), c.blocks);
            EXPECT_EQ(ended, c.ended);
        }
    }
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
