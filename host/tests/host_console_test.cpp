// The host's console commands on a real SQLite store: administration, the outbox of its bus
// events, and the application of replicated changes.

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "bus_test_support.h"
#include "host/admin_command_handler.h"
#include "host/sqlite_engine.h"
#include "host/sync_command_handler.h"
#include "rconsole_base/rconsole_framing.h"
#include "testing/recording_controller.h"
#include "testing/temp_folder.h"

namespace {

using namespace bustest;

constexpr std::uint32_t kNode = 5;
std::string peer(const std::string& port, const std::string& logdir) {
    return "add replicate_peer\ntarget=127.0.0.1:" + port +
           "\nconsole_user=a\nconsole_pass=b\nclasses=*\nlogdir=" + logdir + "\n";
}
const std::string kPool =
    "name=a\nrangestart=10.1.2.10\nrangestop=10.1.2.200\nrelay=10.1.2.1\nprefix=10.1.2.0\n"
    "prefix_len=24\n";

class HostConsole : public ::testing::Test {
protected:
    HostConsole() {
        engine = std::make_unique<host::CSQLiteEngine>(host::CSQLiteEngine::Settings{
            folder.path() + "/host.db", NBX_HOST_DB_DIR, 5000, kNode, {host::COutbox::kTable}});
        registry.offer("CIDBFacadeFactory", engine.get());
        for (int family : {4, 6}) {
            stores[family] = std::make_unique<host::CHostStore>(family, registry);
        }
        engine->declare({host::COutbox::tableDef()});
        outbox = std::make_unique<host::COutbox>(*engine);
        std::map<int, host::CHostStore*> byFamily{{4, stores[4].get()}, {6, stores[6].get()}};
        admin = std::make_unique<host::CAdminCommandHandler>(byFamily, *outbox);
        sync = std::make_unique<host::CSyncCommandHandler>(byFamily, kNode);
        session.setContext("4");
    }
    // The answer to `command` as response text; "nak" blocks carry the failure's text.
    std::string run(const std::string& command) {
        std::vector<nbx::CStringMap> blocks;
        try {
            bool taken =
                sync->handle(session, command, blocks) || admin->handle(session, command, blocks);
            if (!taken) return "not taken";
        } catch (nbx::CException& failure) {
            return "code=nak\nmessage=" + failure.text() + "\n\n";
        }
        return CRConsoleFraming::response(blocks);
    }
    std::string field(const std::string& answer, const std::string& key) {
        const std::string lines = "\n" + answer;
        const std::size_t at = lines.find("\n" + key + "=");
        if (at == std::string::npos) return "";
        const std::size_t from = at + key.size() + 2;
        return lines.substr(from, lines.find('\n', from) - from);
    }
    // The command is answered "nak" with `reason` in its message.
    void expectRefused(const std::string& command, const std::string& reason) {
        const std::string answer = run(command);
        EXPECT_EQ(answer.rfind("code=nak\n", 0), 0u) << command << "\n" << answer;
        EXPECT_NE(answer.find(reason), std::string::npos) << command << "\n" << answer;
    }
    std::string oidOf(const std::string& answer) { return field(answer, "oid"); }
    std::size_t count(const std::string& topic) {
        return stores[session.context() == "6" ? 6 : 4]->list(topic).size();
    }
    // A replicated record as a peer's publisher sends it.
    static std::string record(const std::string& topic, const std::string& operation,
                              const std::string& oid, std::int64_t eventTime,
                              const std::string& object) {
        return "sync_" + topic + "\n_event_operation=" + operation +
               "\n_event_time=" + nbx::CTimeT(eventTime).dateUTC() + "\n_oid=" + oid + "\n" +
               object;
    }

    nbx::testing::TempFolder folder{"nbx-console"};
    std::unique_ptr<host::CSQLiteEngine> engine;
    host::CInterfaceRegistry registry;
    std::map<int, std::unique_ptr<host::CHostStore>> stores;
    std::unique_ptr<host::COutbox> outbox;
    std::unique_ptr<host::CAdminCommandHandler> admin;
    std::unique_ptr<host::CSyncCommandHandler> sync;
    host::CConsoleSession session{1, "test"};
};

TEST_F(HostConsole, AdministersObjectsInTheNodesKeyRange) {
    const std::string oid = oidOf(run("add policy\nname=gold\ndescription=first\n"));
    EXPECT_EQ(oid, std::to_string(kNode << 24 | 1))
        << "the first key of the node's range, none burnt by checks";
    const std::string shown = run("show policy\nname=gold\n");
    EXPECT_EQ(field(shown, "description"), "first") << shown;

    EXPECT_EQ(run("modify policy\noid=" + oid + "\ndescription=second\n"), "code=ack\n\n");
    const std::string after = run("show policy\noid=" + oid);
    EXPECT_EQ(field(after, "description"), "second");
    EXPECT_EQ(field(after, "name"), "gold") << "keys not given stay";
    // Peers order an object's changes by this time, also within one second.
    nbx::CTimeT first, second;
    first.string(field(shown, "mod_time"));
    second.string(field(after, "mod_time"));
    EXPECT_LT(first, second);

    run("add domain\nname=lab\n");
    EXPECT_EQ(run("add policy\nname=silver\ndomains=lab:1\n").rfind("code=ack", 0), 0u)
        << "a membership names its domain before the colon";
    EXPECT_NE(run("list policy").find("code=ack\ncount=2\n"), std::string::npos);
    EXPECT_EQ(run("del policy\noid=" + oid), "code=ack\n\n");
    EXPECT_NE(run("show policy\nname=gold").find("No such object."), std::string::npos);
    std::vector<std::string> announced;  // the outbox's events, one per change
    for (const host::COutbox::Entry& entry : outbox->entries()) announced.push_back(entry.type);
    EXPECT_EQ(announced, (std::vector<std::string>{"add", "modify", "add", "add", "del"}));

    session.setContext("6");
    EXPECT_EQ(count("policy"), 1u) << "a class without family variants is shared";
    run("add "
        "address_pool\nname=v6\nprefix=2001:db8:1::\nprefix_len=64\nrangestart=2001:db8:1::1:0\n"
        "rangestop=2001:db8:1::1:ffff\nrelay=2001:db8:1::1\n");
    EXPECT_EQ(count("address_pool"), 1u);
    session.setContext("4");
    EXPECT_EQ(count("address_pool"), 0u) << "each family sees its own pools";
}

TEST_F(HostConsole, ListsAPageAfterAnOidInOidOrder) {
    std::vector<std::string> oids;
    for (const char* name : {"a", "b", "c"})
        oids.push_back(oidOf(run("add domain\nname=" + std::string(name))));
    const std::string unpaged = run("list domain");
    EXPECT_EQ(unpaged.find("more="), std::string::npos) << unpaged;
    EXPECT_NE(unpaged.find("code=ack\ncount=3\n"), std::string::npos) << unpaged;

    const std::string first = run("list domain\nlimit=2");
    EXPECT_LT(first.find("name=a\n"), first.find("name=b\n")) << first;
    EXPECT_EQ(first.find("name=c\n"), std::string::npos) << first;
    EXPECT_NE(first.find("code=ack\ncount=2\nmore=yes\n"), std::string::npos) << first;

    const std::string second = run("list domain\nafter=" + oids[1] + "\nlimit=2");
    EXPECT_EQ(field(second, "oid"), oids[2]) << second;
    EXPECT_NE(second.find("code=ack\ncount=1\nmore=no\n"), std::string::npos) << second;
    // A page that ends exactly at the last object has nothing more.
    EXPECT_NE(run("list domain\nafter=" + oids[0] + "\nlimit=2").find("count=2\nmore=no\n"),
              std::string::npos);
    EXPECT_NE(run("list domain\nafter=" + oids[2]).find("code=ack\ncount=0\nmore=no\n"),
              std::string::npos);
}

TEST_F(HostConsole, RefusesBadCommandsAndStoresNothing) {
    run("add policy\nname=gold\n");
    run(peer("1", "p1"));
    const std::pair<std::string, const char*> cases[] = {
        {"add nothing\nname=x\n", "Unknown topic 'nothing'."},
        {"add\nname=x\n", "names no topic"},
        {"add policy\nname=x\nnot a key value line\n", "Line 3 is not a key=value line."},
        {"add policy\nname=x\nname=y\n", "Key 'name' is given twice."},
        {"add policy\nname=x\x01\n", "The command holds binary bytes."},
        {"add policy\noid=5\nname=x\n", "gets its oid from the host"},
        {"add policy\nname=gold\n", "The name 'gold' is taken by policy"},
        {"add policy\ndescription=no name\n", "name"},
        {"add address_pool\n" + kPool + "policies=nope\n",
         "The policy 'nope' named by key 'policies' does not exist."},
        {"add address_pool\nname=p\nrangestart=not an address\n",
         "Incorrect ip address type for key 'rangestart'."},
        {peer("1", "../x"),
         "The log directory '../x' must name one folder inside the spool folder."},
        {peer("9", "p1"), "The log directory 'p1' is used by replication peer"},
        {"modify policy\nname=gold\n", "Missing key 'oid'."},
        {"modify policy\noid=12x\n", "Bad object id '12x'."},
        {"del policy\noid=99\n", "No policy with oid 99."},
        {"list policy\nafter=x\n", "Bad object id 'x' for key 'after'."},
        {"list policy\nlimit=ten\n", "Bad limit 'ten': a number from 1 to 100000."},
        {"list policy\nlimit=0\n", "Bad limit '0'"},
        {"list policy\nlimit=100001\n", "Bad limit '100001'"},
        {"list policy\nlimit=5\nname=gold\n", "Unknown key 'name'"},
    };
    for (const auto& [command, reason] : cases) expectRefused(command, reason);
    EXPECT_EQ(count("policy"), 1u);
    EXPECT_EQ(count("address_pool"), 0u);
    EXPECT_EQ(count("replicate_peer"), 1u);
    EXPECT_EQ(outbox->entries().size(), 2u) << "one row for each change made";
    EXPECT_EQ(run("bogus policy\n"), "not taken");
}

TEST_F(HostConsole, OutboxRowStaysUntilEverySubscriberHandledTheEvent) {
    nbx::testing::RecordingController controller;
    host::CSystemBus bus(&controller.sink());
    bus.registerTopic("policy");
    Subscriber subscriber(controller, "");
    bus.subscribe(&subscriber, "");

    const std::string before = oidOf(run("add policy\nname=waiting\n"));
    ASSERT_EQ(outbox->entries().size(), 1u) << "not delivered before the outbox is open";

    subscriber.hold();
    EXPECT_EQ(outbox->open({{4, &bus}}), 1u);
    run("modify policy\noid=" + before + "\ndescription=x\n");
    ASSERT_TRUE(eventually([&] { return subscriber.deliveries().size() == 1; }));
    EXPECT_EQ(outbox->entries().size(), 2u) << "held: neither row may go";

    subscriber.release();
    ASSERT_TRUE(eventually([&] { return outbox->entries().empty(); }));
    EXPECT_EQ(subscriber.deliveries(),
              (std::vector<std::vector<std::string>>{{"policy:" + before}, {"policy:" + before}}));
    bus.unsubscribe(&subscriber);
}

TEST_F(HostConsole, AppliesReplicatedChangesByTheirTime) {
    const std::string oid = std::to_string(7 << 24 | 1);  // made on node 7
    auto policy = [](const std::string& description, std::int64_t modTime) {
        return "name=gold\ndescription=" + description +
               "\nmod_time=" + nbx::CTimeT(modTime).dateUTC() + "\n";
    };
    EXPECT_EQ(run(record("policy", "add", oid, 1000, policy("a", 1000))), "code=ack\n\n");
    const std::string shown = run("show policy\noid=" + oid);
    EXPECT_EQ(field(shown, "mod_time"), nbx::CTimeT(1000).dateUTC()) << "origin's time kept";
    EXPECT_EQ(run(record("policy", "add", oid, 1000, policy("a", 1000))), "code=ack\n\n")
        << "a replay has nothing to do";
    EXPECT_EQ(oidOf(run("add domain\nname=local\n")), std::to_string(kNode << 24 | 1))
        << "a peer's key does not move this node's sequence";

    const struct {
        const char* name;
        std::string command;
        const char* answer;       // "" for a plain ack
        const char* description;  // afterwards
    } steps[] = {
        {"newer wins", record("policy", "modify", oid, 2000, policy("b", 2000)), "", "b"},
        {"older is kept out", record("policy", "modify", oid, 1500, policy("c", 1500)),
         "was kept: changed at", "b"},
        {"same time, other text", record("policy", "modify", oid, 2000, policy("d", 2000)),
         "was kept", "b"},
        {"delete of an older state", record("policy", "del", oid, 1999, ""), "was kept", "b"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        const std::string answer = run(step.command);
        EXPECT_EQ(answer.rfind("code=ack\n", 0), 0u) << answer;
        if (*step.answer) {
            EXPECT_NE(answer.find(step.answer), std::string::npos) << answer;
        } else {
            EXPECT_EQ(answer.find("message="), std::string::npos) << answer;
        }
        EXPECT_EQ(field(run("show policy\noid=" + oid), "description"), step.description);
    }
    EXPECT_EQ(run(record("policy", "del", oid, 2000, "")), "code=ack\n\n");
    EXPECT_EQ(count("policy"), 0u);
    EXPECT_EQ(run(record("policy", "del", oid, 2000, "")), "code=ack\n\n") << "already gone";
    EXPECT_EQ(outbox->entries().size(), 1u)
        << "only the local add; applied changes are not announced";
}

TEST_F(HostConsole, RefusesReplicatedChangesThatCannotBeApplied) {
    run("add policy\nname=gold\n");
    const std::string foreign = std::to_string(7 << 24 | 2);
    const std::string own = std::to_string(kNode << 24 | 9);
    const std::string named = "name=gold\nmod_time=" + nbx::CTimeT(5).dateUTC() + "\n";
    EXPECT_NE(run(record("policy", "add", foreign, 5, named)).find("message=The local policy"),
              std::string::npos)
        << "a name held by a local object keeps the local one";

    const std::pair<std::string, const char*> cases[] = {
        {record("policy", "add", own, 5, "name=x\n"), "in this host's own range (node 5)"},
        {record("nothing", "add", foreign, 5, "name=x\n"), "Unknown topic 'nothing'."},
        {"sync_policy two words\n_event_operation=add\n", "Unknown topic 'policy'."},
        {record("policy", "rename", foreign, 5, "name=x\n"), "Unknown operation 'rename'."},
        {"sync_policy\n_event_operation=add\n_oid=" + foreign + "\nname=x\n",
         "Missing key '_event_time'."},
        {record("address_pool", "add", foreign, 5, kPool + "policies=nope\n"),
         "The policy 'nope' named by key 'policies' does not exist."},
    };
    for (const auto& [command, reason] : cases) expectRefused(command, reason);
    // An object made here and changed on a peer comes back.
    const std::string mine = oidOf(run("show policy\nname=gold"));
    EXPECT_EQ(run(record("policy", "modify", mine, 3000000000,
                         "name=gold\ndescription=from a peer\nmod_time=" +
                             nbx::CTimeT(3000000000).dateUTC() + "\n")),
              "code=ack\n\n");
    EXPECT_EQ(field(run("show policy\nname=gold"), "description"), "from a peer");
    session.setContext("");
    expectRefused(record("policy", "add", foreign, 5, "name=y\n"), "set_context=");
    session.setContext("4");
    EXPECT_EQ(count("policy"), 1u);
}

TEST_F(HostConsole, ConnectionsChangeObjectsAtOnce) {
    // Each console connection has its own thread and database connection; the store, the
    // handlers and the outbox are shared.
    std::vector<std::thread> connections;
    std::vector<std::set<std::string>> oids(2);
    for (int c = 0; c < 2; ++c) {
        connections.emplace_back([&, c] {
            host::CConsoleSession own(10 + c, "test");
            for (int i = 0; i < 20; ++i) {
                std::vector<nbx::CStringMap> blocks;
                admin->handle(
                    own, "add domain\nname=d" + std::to_string(c) + "-" + std::to_string(i) + "\n",
                    blocks);
                oids[c].insert(blocks.at(0).get("oid"));
            }
            admin->onClose(own);
        });
    }
    for (auto& connection : connections) connection.join();
    std::set<std::string> all(oids[0]);
    all.insert(oids[1].begin(), oids[1].end());
    EXPECT_EQ(all.size(), 40u);
    EXPECT_EQ(count("domain"), 40u);
    EXPECT_EQ(outbox->entries().size(), 40u);
}

}  // namespace
