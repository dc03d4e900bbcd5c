// The historical packet: its text, the packet's hexadecimal form and the lenient writer.

#include "dhcp_database/pkt.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dhcp_database/address_binding.h"
#include "record_test_support.h"

using dhcptest::edited;
using dhcptest::Outcome;
using dhcptest::outcome;

namespace {

const char* const kPktInput =
    "oid=61\npkt_type=DHCPACK\npkt=02-01-06-00-a1-b2\nprimary_id=00:0c:29:ab:cd:ef\n"
    "secondary_id=01-00-0C-29-AB-CD-EF\nremote_id=agent-7\ncircuit_id=eth0/1\n"
    "subscriber_id=sub-42\nmod_time=Tue Jan  2 08:30:00 2024\ndomains=root:1\n"
    "option-routers=10.0.0.1\n";

class PktTest : public ::testing::Test {
protected:
    std::unique_ptr<CPrstPkt> packet() { return store.create<CPrstPkt>("CPrstPkt"); }
    Outcome read(const std::string& text) {
        auto record = packet();
        return outcome([&] { record->string(text); });
    }

    dhcptest::CRecordStore store;
};

}  // namespace

TEST_F(PktTest, FullRecordHasItsExactTextRoundTripsAndIsStoredAndReloaded) {
    EXPECT_EQ(dhcptest::roundTrip(store.registry, store.context(), "CPrstPkt", kPktInput),
              "circuit_id=eth0/1\ndomains=root:1\nmod_time=Tue Jan  2 08:30:00 2024\noid=61\n"
              "pkt=02-01-06-00-A1-B2\npkt_type=DHCPACK\nprimary_id=00:0c:29:ab:cd:ef\n"
              "remote_id=agent-7\nsecondary_id=01-00-0C-29-AB-CD-EF\nsubscriber_id=sub-42\n"
              "option-routers=10.0.0.1\n");
    auto record = packet();
    record->string(kPktInput);
    EXPECT_EQ(record->pkt().bytes(), (nbx::CHexStore::Bytes{0x02, 0x01, 0x06, 0x00, 0xA1, 0xB2}));
    const CDBRecord& row = dhcptest::stored(store.engine, store.session, *record);
    EXPECT_EQ(row.values.at("PKT"), "02-01-06-00-A1-B2");
    EXPECT_EQ(row.values.at("PRIMARY_ID"), "00:0c:29:ab:cd:ef");
}

TEST_F(PktTest, RequiredKeysAndTheirReasons) {
    struct Case {
        std::string text;
        const char* reason;  // null: accepted
    } cases[] = {
        {edited(kPktInput, "-pkt"), "Missing 'pkt' key."},
        {edited(kPktInput, "-pkt_type"), "Missing 'pkt_type' key."},
        {edited(kPktInput, "-primary_id;-secondary_id"),
         "Missing 'primary_id' or 'secondary_id' key."},
        {edited(kPktInput, "-primary_id"), nullptr},
        {edited(kPktInput, "-secondary_id"), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        if (!c.reason) {
            EXPECT_EQ(read(c.text).text, "<no exception>");
            continue;
        }
        EXPECT_EQ(read(c.text),
                  (Outcome{std::string("Failed to set a packet record from text. | ") + c.reason,
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
        {"", ""},
        {"0A-ZZ", nullptr},
        {"0A-1", nullptr},  // the text ends inside a pair
        {"0A1B", nullptr},  // pairs without separators
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pkt);
        auto record = packet();
        const Outcome f =
            outcome([&] { record->string(edited(kPktInput, std::string("pkt=") + c.pkt)); });
        if (!c.written) {
            EXPECT_EQ(f, (Outcome{"Cannot convert character to nybble. | Invalid hexadecimal "
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

    auto binding = store.create<CPrstAddressBinding4>("CPrstAddressBinding4");
    binding->put<nbx::CTimeT>("mod_time", unwritable);
    EXPECT_EQ(outcome([&] { binding->string(); }).text,
              "Cannot display time string. | Invalid time.");
}
