#include "rconsole_base/rconsole_framing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rconsole_base/rconsole_block_splitter.h"
#include "rconsole_base/rconsole_command_splitter.h"

namespace {

using Blocks = std::vector<std::string>;

// Feeds `text` in pieces cut at `cuts` (ascending positions) and returns the blocks; `ended`
// tells whether the end of the response was seen.
Blocks splitAt(const std::string& text, const std::vector<std::size_t>& cuts, bool* ended) {
    CRConsoleBlockSplitter splitter;
    Blocks blocks;
    std::size_t from = 0;
    bool end = false;
    for (std::size_t cut : cuts) {
        end = splitter.feed(text.data() + from, cut - from, blocks);
        from = cut;
    }
    end = splitter.feed(text.data() + from, text.size() - from, blocks);
    if (ended) *ended = end;
    return blocks;
}

std::vector<std::string> commandsAt(const std::string& bytes, const std::vector<std::size_t>& cuts,
                                    std::size_t* pending = nullptr) {
    CRConsoleCommandSplitter splitter;
    std::vector<std::string> commands;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        splitter.feed(bytes.data() + from, cut - from, commands);
        from = cut;
    }
    splitter.feed(bytes.data() + from, bytes.size() - from, commands);
    if (pending) *pending = splitter.pending();
    return commands;
}

}  // namespace

TEST(RConsoleFramingTest, CommandEndsInExactlyTwoNewlines) {
    const struct {
        const char* command;
        const char* wire;
    } cases[] = {
        {"show", "show\n\n"},
        {"show\n", "show\n\n"},
        {"show\n\n\n", "show\n\n"},
        {"sync_pool\nname=a\nsize=2\n", "sync_pool\nname=a\nsize=2\n\n"},
        {"\n\n", "\n\n"},
        {"", "\n\n"},
        {"keep blanks \n", "keep blanks \n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(CRConsoleFraming::command(c.command), c.wire);
    }
}

TEST(RConsoleFramingTest, ResponseTextOfBlocks) {
    nbx::CStringMap first;
    first.set("code", "ack");
    first.set("message", "two\nlines");
    nbx::CStringMap second;
    second.set("code", "nak");
    EXPECT_EQ(CRConsoleFraming::response({first, second}),
              "code=ack\nmessage=two lines\n-\ncode=nak\n\n");
    EXPECT_EQ(CRConsoleFraming::response({}), " \n\n");
    EXPECT_EQ(CRConsoleFraming::response({second, nbx::CStringMap(), second}),
              "code=nak\n-\n \n-\ncode=nak\n\n");
}

TEST(RConsoleFramingTest, ResponseTextSplitsBackIntoItsBlocks) {
    nbx::CStringMap ack;
    ack.set("code", "ack");
    ack.set("message", "outdated");
    nbx::CStringMap empty;
    nbx::CStringMap data;
    data.set("name", "pool-a");
    data.set("range", "10.0.0.1-10.0.0.9");
    const std::vector<nbx::CStringMap> blocks{ack, empty, data};
    bool ended = false;
    const Blocks split = splitAt(CRConsoleFraming::response(blocks), {}, &ended);
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
        Blocks blocks;
        bool ended;
    } cases[] = {
        {"single block", "code=ack\n\n", {"code=ack\n"}, true},
        {"two blocks",
         "code=ack\nmessage=old\n-\ncode=ack\n\n",
         {"code=ack\nmessage=old\n", "\ncode=ack\n"},
         true},
        {"rest of a separator line starts the next block",
         "a=1\n-x=2\nb=3\n\n",
         {"a=1\n", "x=2\nb=3\n"},
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
        EXPECT_EQ(splitAt(c.response, {}, &ended), c.blocks);
        EXPECT_EQ(ended, c.ended);
    }
}

TEST(RConsoleBlockSplitterTest, EveryCutGivesTheSameBlocks) {
    const std::string response = "code=ack\nmessage=outdated\n-\ncode=ack\n-x=1\n-\n \nlast=1\n\n";
    bool whole = false;
    const Blocks expected = splitAt(response, {}, &whole);
    ASSERT_TRUE(whole);
    ASSERT_EQ(expected.size(), 4u);
    for (std::size_t cut = 0; cut <= response.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        bool ended = false;
        EXPECT_EQ(splitAt(response, {cut}, &ended), expected);
        EXPECT_TRUE(ended);
    }
    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < response.size(); ++i) everyByte.push_back(i);
    bool ended = false;
    EXPECT_EQ(splitAt(response, everyByte, &ended), expected);
    EXPECT_TRUE(ended);
}

TEST(RConsoleBlockSplitterTest, BlockIsSplitOffOnlyWithTheByteAfterItsNewline) {
    CRConsoleBlockSplitter splitter;
    Blocks blocks;
    EXPECT_FALSE(splitter.feed("a=1\n", 4, blocks));
    EXPECT_TRUE(blocks.empty());
    EXPECT_EQ(splitter.pending(), "a=1\n");
    EXPECT_FALSE(splitter.feed("-", 1, blocks));
    EXPECT_EQ(blocks, Blocks{"a=1\n"});
    EXPECT_EQ(splitter.pending(), "");
    EXPECT_TRUE(splitter.feed("\n\n", 2, blocks));
    EXPECT_EQ(blocks, (Blocks{"a=1\n", "\n"}));
    EXPECT_TRUE(splitter.feed("more", 4, blocks));
    EXPECT_EQ(blocks.size(), 2u);
    EXPECT_EQ(splitter.received(), 11u);

    splitter.reset();
    blocks.clear();
    EXPECT_FALSE(splitter.ended());
    EXPECT_TRUE(splitter.feed("b=2\n\n", 5, blocks));
    EXPECT_EQ(blocks, Blocks{"b=2\n"});
    EXPECT_EQ(splitter.received(), 5u);
}

TEST(RConsoleCommandSplitterTest, CommandsAtEveryCut) {
    // Two commands, the second behind cipher padding, then the start of a third.
    const std::string bytes =
        std::string("set_context=4\n\n\0\0\0", 18) + "sync_pool\nname=a\n\nnext";
    const std::vector<std::string> expected{"set_context=4", "sync_pool\nname=a"};
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        std::size_t pending = 0;
        EXPECT_EQ(commandsAt(bytes, {cut}, &pending), expected);
        EXPECT_EQ(pending, 4u);
    }
    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < bytes.size(); ++i) everyByte.push_back(i);
    EXPECT_EQ(commandsAt(bytes, everyByte), expected);
}

TEST(RConsoleCommandSplitterTest, FramedCommandsComeBackAsSent) {
    const std::vector<std::string> sent{"show", "sync_pool\nname=a\nsize=2\n\n\n", "", "a\nb"};
    std::string bytes;
    for (const std::string& command : sent) bytes += CRConsoleFraming::command(command);
    std::size_t pending = 1;
    EXPECT_EQ(commandsAt(bytes, {}, &pending),
              (std::vector<std::string>{"show", "sync_pool\nname=a\nsize=2", "", "a\nb"}));
    EXPECT_EQ(pending, 0u);
}
