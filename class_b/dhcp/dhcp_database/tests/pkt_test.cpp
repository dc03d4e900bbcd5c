// The historical packet: its text, the packet's hexadecimal form and the lenient writer.

#include "dhcp_database/pkt.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dhcp_database/address_binding.h"
#include "record_store.h"

using rectest::failure;
using rectest::Failure;
using rectest::without;

namespace {

const char* const kPktInput =
    "oid=61\npkt_type=DHCPACK\npkt=02-01-06-00-a1-b2\nprimary_id=00:0c:29:ab:cd:ef\n"
    "secondary_id=01-00-0C-29-AB-CD-EF\nremote_id=agent-7\ncircuit_id=eth0/1\n"
    "subscriber_id=sub-42\nmod_time=Tue Jan  2 08:30:00 2024\ndomains=root:1\n"
    "option-routers=10.0.0.1\n";

const char* const kPktWritten =
    "circuit_id=eth0/1\n"
    "domains=root:1\n"
    "mod_time=Tue Jan  2 08:30:00 2024\n"
    "oid=61\n"
    "pkt=02-01-06-00-A1-B2\n"
    "pkt_type=DHCPACK\n"
    "primary_id=00:0c:29:ab:cd:ef\n"
    "remote_id=agent-7\n"
    "secondary_id=01-00-0C-29-AB-CD-EF\n"
    "subscriber_id=sub-42\n"
    "option-routers=10.0.0.1\n";

class PktTest : public ::testing::Test {
protected:
    std::unique_ptr<CPrstPkt> packet() { return store.make<CPrstPkt>(); }
    Failure read(const std::string& text) {
        auto record = packet();
        return failure([&] { record->string(text); });
    }

    rectest::CRecordStore store;
};

class PktOptionModeTest : public PktTest, public ::testing::WithParamInterface<bool> {};

}  // namespace

TEST_F(PktTest, FullRecordHasItsExactText) {
    auto record = packet();
    record->string(kPktInput);
    EXPECT_EQ(record->string(), kPktWritten);
    EXPECT_EQ(record->pkt().bytes(), (nbx::CHexStore::Bytes{0x02, 0x01, 0x06, 0x00, 0xA1, 0xB2}));
    EXPECT_EQ(record->pktType(), "DHCPACK");
}

TEST_P(PktOptionModeTest, TextRoundTripsThroughANewObject) {
    auto original = packet();
    original->string(kPktInput);
    store.context()->setJsonOptions(GetParam());
    const std::string text = original->string();
    EXPECT_EQ(text.find("options=[[\"option-routers\",\"10.0.0.1\"]]\n") != std::string::npos,
              GetParam());
    auto copy = packet();
    copy->string(text);
    EXPECT_EQ(copy->string(), text);
    EXPECT_TRUE(copy->options() == original->options());
    EXPECT_EQ(copy->pkt(), original->pkt());
}

INSTANTIATE_TEST_SUITE_P(BothOptionModes, PktOptionModeTest, ::testing::Bool());

TEST_F(PktTest, RequiredKeysAndTheirReasons) {
    struct Case {
        std::string text;
        const char* reason;  // null: accepted
    } cases[] = {
        {without(kPktInput, "pkt"), "Missing 'pkt' key."},
        {without(kPktInput, "pkt_type"), "Missing 'pkt_type' key."},
        {without(without(kPktInput, "primary_id"), "secondary_id"),
         "Missing 'primary_id' or 'secondary_id' key."},
        {"", "Missing 'pkt_type' key."},
        {"pkt_type=1\npkt=\n", "Missing 'primary_id' or 'secondary_id' key."},
        {without(kPktInput, "primary_id"), nullptr},
        {without(kPktInput, "secondary_id"), nullptr},
        {"pkt_type=1\npkt=\nsecondary_id=\n", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Failure f = read(c.text);
        if (!c.reason) {
            EXPECT_EQ(f.text, "<no exception>");
            continue;
        }
        EXPECT_EQ(f, (Failure{std::string("Failed to set a packet record from text. | ") + c.reason,
                              "dhcp_database CPrstPkt::_set"}));
    }
}

TEST_F(PktTest, ThePacketIsHexadecimalPairsJoinedByDashes) {
    struct Case {
        const char* pkt;
        const char* written;  // null: refused as a bad digit
    } cases[] = {
        {"0a-1b-ff", "0A-1B-FF"},
        {"0A:1B:FF", "0A-1B-FF"},  // any one-character separator reads alike
        {"7F", "7F"},
        {"", ""},
        {"0A-ZZ", nullptr},
        {"0A-1", nullptr},  // the text ends inside a pair
        {"0A1B", nullptr},  // pairs without separators
        {"G0", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pkt);
        auto record = packet();
        const std::string text = without(kPktInput, "pkt") + "pkt=" + c.pkt + "\n";
        Failure f = failure([&] { record->string(text); });
        if (!c.written) {
            EXPECT_EQ(f, (Failure{"Cannot convert character to nybble. | Invalid hexadecimal "
                                  "character.",
                                  "dhcp_database CPrstPkt::_set"}));
            continue;
        }
        ASSERT_EQ(f.text, "<no exception>");
        EXPECT_NE(record->string().find(std::string("\npkt=") + c.written + "\n"),
                  std::string::npos);
    }
}

TEST_F(PktTest, AValueThatCannotBeWrittenEndsTheTextThere) {
    // A modification time past the year 9999 has no text. The packet gives the text written
    // before it, with its options in either form; a binding passes the failure on.
    const nbx::CTimeT unwritable(nbx::CTimeT::kInfinite - 1);
    auto record = packet();
    record->string(kPktInput);
    record->put<nbx::CTimeT>("mod_time", unwritable);
    EXPECT_EQ(record->string(), "oid=61\noption-routers=10.0.0.1\n");
    store.context()->setJsonOptions(true);
    EXPECT_EQ(record->string(), "oid=61\noptions=[[\"option-routers\",\"10.0.0.1\"]]\n");

    auto binding = store.make<CPrstAddressBinding4>();
    binding->put<nbx::CTimeT>("mod_time", unwritable);
    EXPECT_EQ(failure([&] { binding->string(); }).text,
              "Cannot display time string. | Invalid time.");
}

TEST_F(PktTest, IsStoredAndReloaded) {
    auto record = store.session.newObject<CPrstPkt>();
    record->string(without(kPktInput, "oid"));
    record->commit(0, CFullAccessToken::instance());
    const CDBRecord& row = store.engine.memory().rows("historical_packet").at(record->oid());
    EXPECT_EQ(row.values.at("PKT"), "02-01-06-00-A1-B2");
    EXPECT_EQ(row.values.at("PRIMARY_ID"), "00:0c:29:ab:cd:ef");
    auto found = store.session.find<CPrstPkt>(0, record->oid());
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->string(), record->string());
    for (const CDBTableDef& table : store.engine.opened) {
        if (table.name == "historical_packet") {
            EXPECT_EQ(table.columns.get("PKT"), "[__DB_TYPE_BINARY_BLOB__]");
        }
    }
}
