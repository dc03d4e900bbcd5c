#include "dhcp_database/replicate_peer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "extended/config.h"
#include "record_test_support.h"

using dhcptest::thrown;

namespace {

const std::string kFailed = "Failed to set a replicate peer record from text. | ";
constexpr const char* kSite = " @ dhcp_database CPrstReplicatePeer::string";

// Whether `call` failed as a class list that names unknown classes.
template <class F>
bool refusedClassList(F&& call) {
    try {
        call();
    } catch (CPrstException<15>&) {
        return true;
    } catch (nbx::CException&) {
    }
    return false;
}

// The registry of a DHCP server: every listed text class name is known.
class PeerTest : public ::testing::Test {
protected:
    std::unique_ptr<CPrstReplicatePeer> peer() {
        auto peer = std::make_unique<CPrstReplicatePeer>();
        peer->setContext(server.context);
        return peer;
    }
    // What setting a new peer from `text` threw; its severity is always 4.
    std::string set(const std::string& text) {
        auto record = peer();
        nbx::testing::Failure f = nbx::testing::failure([&] { record->set(text); });
        if (f.thrown) {
            EXPECT_EQ(f.severity, 4u) << text;
        }
        return thrown([&] { record->set(text); });
    }

    dhcptest::CDHCPRegistry server{4};
};

}  // namespace

TEST_F(PeerTest, TextFormMasksThePasswordAndRoundTripsKeepingIt) {
    const std::string text =
        "classes=!option, rule\nconsole_pass=s3cret\nconsole_user=admin\n"
        "description=Second site\ndomains=root:1\nenabled=false\nlogdir=site2\n"
        "mod_time=Thu Jan  1 00:00:00 1970\noid=3\ntarget=10.0.0.2:7000\n";
    auto original = peer();
    original->set(text);
    EXPECT_EQ(original->consolePass(), "s3cret");
    const std::string written = original->string();
    EXPECT_EQ(written, std::string(text).replace(text.find("s3cret"), 6, "**********"));

    // Written back over the stored record, the mask keeps the password.
    original->set(written);
    EXPECT_EQ(original->consolePass(), "s3cret");
    auto copy = peer();
    copy->set(written);
    EXPECT_EQ(copy->string(), written);
    EXPECT_EQ(copy->consolePass(), "");  // a new record gets no password from the mask
}

TEST_F(PeerTest, MissingKeysBadValuesAndUnknownClassesFailUnderTheRecordsSite) {
    const std::string rest = "\ntarget=t\nconsole_user=u\nconsole_pass=p\n";
    const std::string unknown =
        kFailed +
        "Classes must be a set of 'account,user_account,domain,domain_group,access_control,"
        "user_access_control,keyvalue,sample,sql_query,sql_query_group,snmp_query,"
        "snmp_query_group,capability,user_role,historical_packet,policy,option,vendor_class,"
        "address_pool,network_pool,address_binding,network_binding,address_pending,"
        "network_pending,rule,replicate_peer,failover_peer,failover_address_binding,"
        "failover_network_binding', '*' or ''.";
    const std::pair<std::string, std::string> cases[] = {
        {"target=t\nconsole_user=u\nconsole_pass=p\n", kFailed + "Missing 'classes' key."},
        {"classes=*\ntarget=t\nconsole_pass=p\n",
         "Failed to set replicate peer record from text. | Missing 'console_user' key."},
        {"oid=abc\n", kFailed + "Invalid value 'abc' for key 'oid'."},
        {"classes=rule,unknown_thing" + rest, unknown},
        {"classes=rule ,option" + rest, unknown},  // trailing blanks are not stripped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(set(c.first), c.second + kSite);
        // Only an unknown class is the registry's unknown-class failure.
        EXPECT_EQ(refusedClassList([&] { peer()->set(c.first); }), c.second == unknown);
    }
    for (const char* classes : {"", "all", "!option, rule,policy", "!! option,! rule"}) {
        auto record = peer();
        record->set(std::string("classes=") + classes + rest);
        EXPECT_EQ(record->classes(), classes);
    }
    // Without a registry no class name is known.
    EXPECT_FALSE(CPrstReplicatePeer::classListValid("rule", nullptr));
    EXPECT_TRUE(CPrstReplicatePeer::classListValid("!*", nullptr));
}

TEST_F(PeerTest, DefaultsOfLogDirectoryEnabledAndConsolePassword) {
    auto record = peer();
    record->set("classes=*\ntarget=dhcp2.example\nconsole_user=\nconsole_pass=p\n");
    EXPECT_EQ(record->logDir(), "dhcp2.example");
    EXPECT_TRUE(record->enabled());
    EXPECT_EQ(record->consoleUser(), "");  // the key only has to be present
    record->set("classes=*\ntarget=t\nconsole_user=u\nconsole_pass=p\nenabled=perhaps\n");
    EXPECT_TRUE(record->enabled());  // an unreadable flag is true
    record->set("classes=*\ntarget=t\nconsole_user=u\nconsole_pass=p\nenabled=no\n");
    EXPECT_FALSE(record->enabled());

    // The console password falls back to the host's default.
    nbx::CConfig config("sync.console.default_password=fallback\n", "\n");
    server.context->setConfig(&config);
    const char* const cases[][3] = {
        {"admin", "", ""},  // a console user keeps even an empty password
        {"", "s3cret", "s3cret"},
        {"", "", "fallback"},
    };
    for (const auto& c : cases) {
        record = peer();
        record->setConsoleUser(c[0]);
        record->setConsolePass(c[1]);
        EXPECT_EQ(record->consolePassword(), c[2]) << c[0] << "/" << c[1];
    }
    server.context->setConfig(nullptr);
    EXPECT_EQ(peer()->consolePassword(), "");
}

TEST_F(PeerTest, IsStoredWithItsPasswordInTheReplicatePeerTable) {
    CPrstDBSession& session = server.session;
    memdb::CMemoryConnection& db = server.engine.memory();
    auto record = session.newObject<CPrstReplicatePeer>();
    record->set("classes=rule\ntarget=10.0.0.2:7000\nconsole_user=admin\nconsole_pass=s3cret\n");
    record->commit(0, CFullAccessToken::instance());

    const CDBRecord& row = db.rows("nbx_rep_peers").at(record->oid());
    EXPECT_EQ(row.values.at("CONSOLE_PASS"), "s3cret");
    EXPECT_EQ(row.values.at("LOG_DIR"), "10.0.0.2:7000");
    EXPECT_EQ(row.values.at("META_CLASS"), "CPrstReplicatePeer[simple]");
    auto found = session.find<CPrstReplicatePeer>(0, record->oid());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->consolePassword(), "s3cret");

    // A replicated text carries the mask: the stored password survives the update.
    found->set(found->string());
    found->setDescription("renamed");
    found->commit(0, CFullAccessToken::instance());
    EXPECT_EQ(db.rows("nbx_rep_peers").at(record->oid()).values.at("CONSOLE_PASS"), "s3cret");
}
