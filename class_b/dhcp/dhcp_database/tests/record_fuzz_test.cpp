// Random and truncated texts for every record class of this module: a text is either accepted,
// and then written and read back to the same text, or refused with an nbx::CException. Nothing
// else may come out.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "record_store.h"

namespace {

// A full text of each class (its options as lines).
struct Sample {
    const char* className;
    const char* text;
};

const Sample kSamples[] = {
    {"CPrstAddressBinding4",
     "oid=41\nclient_id=01-02\nipaddr=10.0.0.5\nrelay=10.0.0.1\nfixed=false\ntid_type=2\n"
     "tid=t\nprotocol=bootp\nsource_pool=pool-a\nsource_account=acct\npolicies=p\n"
     "domains=root:1\nlease_commit=Mon Jan  1 10:00:00 2024\n"
     "lease_duration=Thu Jan  1 01:00:00 1970\nmod_time=Tue Jan  2 08:30:00 2024\n"
     "option-routers=10.0.0.1\n"},
    {"CPrstAddressBinding6",
     "client_id=00-01\niatype=3\niaid=7\nipaddr=2001:db8::5\nrelay=2001:db8::1\n"
     "lease_duration=infinite\nsource_pool=pool-a\n-option-x=\n"},
    {"CPrstNetworkBinding",
     "prefix_len=24\nclient_id=01\nipaddr=10.1.0.0\ngiaddr=10.0.0.1\nlease_duration=infinite\n"
     "source_pool=net-a\n"},
    {"CPrstNetworkBinding6",
     "prefix_len=56\nduid=00-01\niatype=25\niaid=1\nipaddr=2001:db8:100::\n"
     "relay=2001:db8::1\nlease_duration=Thu Jan  1 01:00:00 1970\n"},
    {"CPrstAddressPending", "ipaddr=10.0.0.9\nrelay=10.0.0.1\nsource_pool=pool-a\n"},
    {"CPrstNetworkPending", "offer_time=Mon Jan  1 10:00:00 2024\n"},
    {"CPrstFAddressBinding4",
     "client_id=01\nsource_pool=pool-a\nipaddr=10.0.0.7\nrelay=10.0.0.1\nsession_id=7\n"
     "state=active\nlease_exp_time=1704106800\noption-routers=10.0.0.1\n"},
    {"CPrstFAddressBinding6",
     "client_id=00-01\niatype=3\niaid=2\nsource_pool=pool-a\nipaddr=2001:db8::7\n"
     "relay=2001:db8::1\n"},
    {"CPrstFNetworkBinding",
     "prefix_len=30\nclient_id=07\nsource_pool=net-a\nipaddr=10.2.0.0\nrelay=10.0.0.1\n"},
    {"CPrstFNetworkBinding6",
     "prefix_len=48\nduid=00-03\niatype=25\niaid=9\nsource_pool=net-a\nipaddr=2001:db8:1::\n"
     "giaddr=2001:db8::1\nstate=recover\n"},
    {"CPrstFailoverPeer",
     "session_id=7\nrole=primary\ntarget=10.0.0.2:647\nenabled=false\nmclt=3600\n"
     "domains=root:1\n"},
    {"CPrstPkt",
     "pkt_type=DHCPACK\npkt=02-01-06\nprimary_id=00:0c\nsecondary_id=01\n"
     "mod_time=Tue Jan  2 08:30:00 2024\noption-routers=10.0.0.1\n"},
};

// Values that some key accepts, so that random texts get past the first keys.
const char* const kValues[] = {"10.0.0.1",
                               "2001:db8::1",
                               "Mon Jan  1 10:00:00 2024",
                               "Thu Jan  1 01:00:00 1970",
                               "infinite",
                               "01-02",
                               "0A:1b",
                               "24",
                               "128",
                               "0",
                               "-1",
                               "3600",
                               "pool-a",
                               "net-a",
                               "acct",
                               "root:1,dev:2",
                               "true",
                               "[[\"option-a\",\"1\"]]",
                               "[]",
                               ""};

const char* const kExtraKeys[] = {"oid",       "giaddr",   "duid",
                                  "client_id", "options",  "option-routers",
                                  "-option-x", "mod_time", "domains"};

}  // namespace

TEST(RecordFuzz, RandomAndTruncatedTextsAreAcceptedFaithfullyOrRefusedWithExceptionRecords) {
    rectest::CRecordStore store;
    store.add<rectest::CTestAddressPool>("pool-a");
    store.add<rectest::CTestNetworkPool>("net-a");
    store.add<rectest::CTestAccount>("acct");
    std::mt19937 random(8201);
    const std::string alphabet = "=\n:,.-_ 0123456789abcdefABCDEFinty[]\"'\t";
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(sample.className);
        std::vector<std::string> keys(std::begin(kExtraKeys), std::end(kExtraKeys));
        for (const CPrstFieldDef& row :
             store.registry.factory(sample.className).classDef().fields())
            if (!row.key.empty()) keys.push_back(row.key);
        const std::string full = sample.text;
        std::size_t accepted = 0;
        for (int round = 0; round < 1500; ++round) {
            store.context()->setRawIds(round % 7 == 3);
            store.context()->setJsonOptions(round % 5 == 2);
            std::string text;
            if (round % 3 == 0) {
                text = full.substr(0, random() % (full.size() + 1));
            } else {
                for (const std::string& key : keys) {
                    if (random() % 3 == 0) continue;
                    text += key + "=";
                    if (random() % 2) {
                        text += kValues[random() % (sizeof kValues / sizeof kValues[0])];
                    } else {
                        for (int n = random() % 12; n > 0; --n)
                            text += alphabet[random() % alphabet.size()];
                    }
                    text += "\n";
                }
            }
            SCOPED_TRACE(text);
            auto record = store.create<CPrstUserBase>(sample.className);
            try {
                record->string(text);
            } catch (nbx::CException&) {
                continue;
            } catch (...) {
                ADD_FAILURE() << "a foreign exception escaped";
                continue;
            }
            ++accepted;
            try {
                const std::string written = record->string();
                auto copy = store.create<CPrstUserBase>(sample.className);
                copy->string(written);
                EXPECT_EQ(copy->string(), written);
            } catch (nbx::CException& e) {
                ADD_FAILURE() << "an accepted record did not round-trip: " << e.text();
            }
        }
        const bool refusesText = std::string(sample.className).find("Pending") != std::string::npos;
        EXPECT_EQ(accepted == 0, refusesText);
    }
}
