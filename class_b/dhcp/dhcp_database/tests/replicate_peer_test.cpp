#include "dhcp_database/replicate_peer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "extended/config.h"
#include "record_test_support.h"

namespace {

struct Failure {
    std::string text;        // "message | reason"
    std::string where;       // "module function severity"
    bool classList = false;  // caught as CPrstException<15>
};

template <class F>
Failure failure(F&& call) {
    try {
        call();
    } catch (nbx::CException& e) {
        return {e.message().text() + " | " + e.reason().text(),
                e.module() + " " + e.function() + " " + std::to_string(e.severity()),
                dynamic_cast<CPrstException<15>*>(&e) != nullptr};
    }
    return {"<no exception>", "", false};
}

constexpr const char* kSite = "dhcp_database CPrstReplicatePeer::string 4";

// The registry of a DHCP server: every listed text class name is known.
class PeerTest : public ::testing::Test {
protected:
    std::unique_ptr<CPrstReplicatePeer> peer() {
        auto peer = std::make_unique<CPrstReplicatePeer>();
        peer->setContext(server.context);
        return peer;
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

TEST_F(PeerTest, MissingKeysAndBadValuesFailUnderTheRecordsSite) {
    const std::string failed = "Failed to set a replicate peer record from text. | ";
    const std::string failedNoA = "Failed to set replicate peer record from text. | ";
    const std::pair<const char*, std::string> cases[] = {
        {"target=t\nconsole_user=u\nconsole_pass=p\n", failed + "Missing 'classes' key."},
        {"classes=*\ntarget=t\nconsole_pass=p\n", failedNoA + "Missing 'console_user' key."},
        {"oid=abc\n", failed + "Invalid value 'abc' for key 'oid'."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        auto record = peer();
        const Failure f = failure([&] { record->set(c.first); });
        EXPECT_EQ(f.text, c.second);
        EXPECT_EQ(f.where, kSite);
        EXPECT_FALSE(f.classList);
    }
}

TEST_F(PeerTest, ClassListsNameKnownClassesOrWildcards) {
    struct Case {
        const char* classes;
        bool valid;
    } cases[] = {
        {"", true},
        {"all", true},
        {"!option, rule", true},
        {"!! option,! rule", true},
        {"rule,unknown_thing", false},
        {"rule ,option", false},  // trailing blanks are not stripped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.classes);
        EXPECT_EQ(CPrstReplicatePeer::classListValid(c.classes, &server.registry), c.valid);
        auto record = peer();
        const Failure f = failure([&] {
            record->set(std::string("classes=") + c.classes +
                        "\ntarget=t\nconsole_user=u\nconsole_pass=p\n");
        });
        if (c.valid) {
            EXPECT_EQ(f.text, "<no exception>");
            EXPECT_EQ(record->classes(), c.classes);
        } else {
            EXPECT_TRUE(f.classList);
            EXPECT_EQ(f.where, kSite);
            EXPECT_EQ(f.text,
                      "Failed to set a replicate peer record from text. | Classes must be a set "
                      "of 'account,user_account,domain,domain_group,access_control,"
                      "user_access_control,keyvalue,sample,sql_query,sql_query_group,snmp_query,"
                      "snmp_query_group,capability,user_role,historical_packet,policy,option,"
                      "vendor_class,address_pool,network_pool,address_binding,network_binding,"
                      "address_pending,network_pending,rule,replicate_peer,failover_peer,"
                      "failover_address_binding,failover_network_binding', '*' or ''.");
        }
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
    struct Case {
        const char* user;
        const char* pass;
        const char* expected;
    } cases[] = {
        {"admin", "s3cret", "s3cret"},
        {"admin", "", ""},  // a console user keeps even an empty password
        {"", "s3cret", "s3cret"},
        {"", "", "fallback"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.user) + "/" + c.pass);
        record = peer();
        record->setConsoleUser(c.user);
        record->setConsolePass(c.pass);
        EXPECT_EQ(record->consolePassword(), c.expected);
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
