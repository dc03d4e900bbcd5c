// What the drift report counts as a difference between two texts of one object, and how it
// reads the peer's objects a page at a time.

#include "operations/drift_reporter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "operations/peer_list_client.h"
#include "testing/console_peer.h"
#include "testing/failure.h"

namespace {

using nbx::testing::Peer;

std::string differing(const std::string& local, const std::string& peer) {
    return CDriftReporter::differingFields(nbx::CStringMap(local, "\n"),
                                           nbx::CStringMap(peer, "\n"));
}

TEST(DriftFields, EqualContentWithAnotherTimeOrMaskedPasswordIsNoDifference) {
    EXPECT_EQ(differing("oid=5\nmod_time=Mon Dec  7 10:00:00 2026\nname=bob\npassword=**********\n",
                        "oid=5\nmod_time=Tue Dec  8 10:00:00 2026\nname=bob\npassword=secret\n"),
              "");
}

TEST(DriftFields, NamesChangedMissingAndAddedKeysInKeyOrder) {
    EXPECT_EQ(differing("name=a\nvalue=dark\nclass=ui\n", "name=a\nvalue=light\nkey=theme\n"),
              "class,key,value");
}

// A peer's console that answers each "list" with the next scripted page.
struct ScriptedList {
    // Lists "domain" in pages of `pageSize`; the names of the objects handed over, in order.
    std::vector<std::string> list(std::uint32_t pageSize) {
        std::vector<std::string> names;
        client.connect();
        client.list("domain", pageSize, [&names](const nbx::CStringMap& object) {
            names.push_back(object.get("name"));
        });
        return names;
    }

    Peer peer{"admin", "peer-secret"};
    CPeerListClient client{CProtocolFamily(4), peer.target(), "admin", "peer-secret"};
};

TEST(PeerList, AsksForEachPageAfterTheLastOidUntilThePeerHasNoMore) {
    ScriptedList paged;
    // 0xFF000001 travels as a negative number, and is asked for as one.
    paged.peer.script->push(
        {"oid=1\nname=a", "oid=-16777215\nname=b", "code=ack\ncount=2\nmore=yes"});
    paged.peer.script->push({"oid=-16777214\nname=c", "code=ack\ncount=1\nmore=no"});
    EXPECT_EQ(paged.list(2), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(paged.peer.commands(),
              (std::vector<std::string>{"list domain\nlimit=2",
                                        "list domain\nafter=-16777215\nlimit=2"}));
}

TEST(PeerList, PeerWithMoreThatDoesNotMoveOnIsRefusedNotFollowedForever) {
    const std::vector<std::vector<std::string>> secondPages = {
        {"code=ack\ncount=0\nmore=yes"},                   // an empty page
        {"oid=4\nname=x", "code=ack\ncount=1\nmore=yes"},  // back before the first page's end
    };
    for (const auto& second : secondPages) {
        ScriptedList paged;
        paged.peer.script->push({"oid=5\nname=a", "code=ack\ncount=1\nmore=yes"});
        paged.peer.script->push(second);
        const auto f = nbx::testing::failure([&] { paged.list(1); });
        ASSERT_TRUE(f.thrown) << second.front();
        EXPECT_EQ(f.reason,
                  "The peer says more objects follow, but its page ends at no oid past 5.");
        EXPECT_EQ(paged.peer.commands().size(), 2u);
    }
}

}  // namespace
