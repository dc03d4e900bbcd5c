// Random, mutated and truncated texts for every record class of this module: a text is either
// refused with an nbx::CException or accepted, and then written in either option mode as a text
// that reads back to itself. Nothing else may come out.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "record_test_support.h"

namespace {

struct Subject {
    unsigned family;  // 0: the store with the pool and account stand-ins
    const char* className;
    const char* seed;  // a valid text
};

const Subject kSubjects[] = {
    {0, "CPrstAddressBinding4",
     "oid=41\nclient_id=01-02\nipaddr=10.0.0.5\nrelay=10.0.0.1\nfixed=false\ntid_type=2\n"
     "tid=t\nprotocol=bootp\nsource_pool=pool-a\nsource_account=acct-1\npolicies=p\n"
     "domains=root:1\nlease_commit=Mon Jan  1 10:00:00 2024\n"
     "lease_duration=Thu Jan  1 01:00:00 1970\nmod_time=Tue Jan  2 08:30:00 2024\n"
     "option-routers=10.0.0.1\n"},
    {0, "CPrstAddressBinding6",
     "client_id=00-01\niatype=3\niaid=7\nipaddr=2001:db8::5\nrelay=2001:db8::1\n"
     "lease_duration=infinite\nsource_pool=pool-a\n-option-x=\n"},
    {0, "CPrstNetworkBinding6",
     "prefix_len=56\nduid=00-01\niatype=25\niaid=1\nipaddr=2001:db8:100::\n"
     "relay=2001:db8::1\nlease_duration=Thu Jan  1 01:00:00 1970\n"},
    {0, "CPrstAddressPending", "ipaddr=10.0.0.9\nrelay=10.0.0.1\nsource_pool=pool-a\n"},
    {0, "CPrstFAddressBinding4",
     "client_id=01\nsource_pool=pool-a\nipaddr=10.0.0.7\nrelay=10.0.0.1\nsession_id=7\n"
     "state=active\nlease_exp_time=1704106800\noption-routers=10.0.0.1\n"},
    {0, "CPrstFAddressBinding6",
     "client_id=00-01\niatype=3\niaid=2\nsource_pool=pool-a\nipaddr=2001:db8::7\n"
     "relay=2001:db8::1\n"},
    {0, "CPrstFNetworkBinding6",
     "prefix_len=48\nduid=00-03\niatype=25\niaid=9\nsource_pool=net-a\nipaddr=2001:db8:1::\n"
     "giaddr=2001:db8::1\nstate=recover\n"},
    {0, "CPrstFailoverPeer",
     "session_id=7\nrole=primary\ntarget=10.0.0.2:647\nenabled=false\nmclt=3600\n"
     "domains=root:1\n"},
    {0, "CPrstPkt",
     "pkt_type=DHCPACK\npkt=02-01-06\nprimary_id=00:0c\nsecondary_id=01\n"
     "mod_time=Tue Jan  2 08:30:00 2024\noption-routers=10.0.0.1\n"},
    {4, "CPrstAddressPool4",
     "name=a\nrangestart=10.1.2.10\nrangestop=10.1.2.200\nrelay=10.1.2.1\nprefix=10.1.2.0\n"
     "prefix_len=24\nvalid_lt=7200\npref_lt=3600\nweight=2\noption-subnet-mask=255.255.255.0\n"
     "domains=root:1\nenabled=true\nmod_time=Thu Jan  1 00:00:00 1970\n"},
    {6, "CPrstAddressPool6",
     "name=b\nrangestart=2001:db8:1::100\nrangestop=2001:db8:1::1ff\ngiaddr=2001:db8:1::1\n"
     "prefix_len=64\nvalid_lt=-1\npref_lt=100\nprefix=2001:db8:1::\n"},
    {6, "CPrstNetworkPool",
     "rangestart=2001:db8:100::\nrangestop=2001:db8:1ff::\nrelay=2001:db8::1\n"
     "prefix=2001:db8:100::\nprefix_len=40\nsub_prefix_len=48\noption-x=1\n"},
    {4, "CPrstAPoolMark", "pool_oid=12\nmark=10.1.2.77\n"},
    {6, "CPrstNPoolMark", "pool_oid=-1\nmark=2001:db8:1a0::\ndomains=root:1\n"},
    {4, "CPolicyRecord", "name=voip\nenforce=true\noption-sip-servers=10.9.9.9\n-option-a=\n"},
    {4, "CPrstOptionAttributes",
     "name=routers\ntype=ipaddress\ntagpath=3\nmax_instances=1\nuser_definable=required\n"
     "fixed_offsets=0,4\nvendor_oro=false\nvendor_id=9\n"},
    {4, "CPrstRule", "condition=(eq a b)\npri=3\npersist=no\ndomains_result=lab\n"},
    {4, "CPrstReplicatePeer",
     "classes=!option, rule\nconsole_pass=s3cret\nconsole_user=admin\ndomains=root:1\n"
     "enabled=false\nlogdir=site2\noid=3\ntarget=10.0.0.2:7000\n"},
};

// Keys that no class or another class reads, besides each class's own.
const char* const kExtraKeys[] = {"oid",     "giaddr",         "duid",      "client_id",
                                  "options", "option-routers", "-option-x", "domains"};

// Whole values that some key accepts, so that random texts get past the first keys, and
// pieces that values are made of.
const char* const kValues[] = {"10.0.0.1",
                               "2001:db8::1",
                               "Mon Jan  1 10:00:00 2024",
                               "infinite",
                               "01-02",
                               "0A:1b",
                               "pool-a",
                               "net-a",
                               "acct-1",
                               "root:1,dev:2",
                               "[[\"option-a\",\"1\"]]",
                               "[]",
                               "*",
                               "!option, rule"};
const char* const kPieces[] = {
    "10.",      "1.",         "2", "255", ".0",   "2001:",   "db8:", "::",  "fe80",
    "ff01",     "127",        "0", "-1",  "24",   "64",      "128",  "129", "true",
    "x",        ",",          ":", "[[",  "\"",   "]]",      "=",    " ",   "/",
    "\xc3\xa9", "4294967296", "a", "ff",  "3600", "allowed", "rule", "!"};

std::string randomValue(std::mt19937& random) {
    if (random() % 3 == 0) return kValues[random() % std::size(kValues)];
    std::string value;
    for (int n = random() % 5; n > 0; --n) value += kPieces[random() % std::size(kPieces)];
    return value;
}

// One of four kinds of input, by round.
std::string makeText(std::mt19937& random, const std::string& seed,
                     const std::vector<std::string>& keys, int round) {
    switch (round % 4) {
        case 0:  // the seed cut anywhere
            return seed.substr(0, random() % (seed.size() + 1));
        case 1: {  // the seed with one key's value replaced or the key removed
            nbx::CStringMap map(seed, "\n", 0, false);
            auto it = map.begin();
            std::advance(it, random() % map.size());
            const std::string key = it->first;
            if (random() % 4 == 0) {
                map.erase(key);
            } else {
                map.set(key, randomValue(random));
            }
            return map.string();
        }
        case 2: {  // the keys at random with random values
            std::string text;
            for (const std::string& key : keys) {
                if (random() % 3 == 0) text += key + "=" + randomValue(random) + "\n";
            }
            return text;
        }
        default: {  // bytes
            std::string text(random() % 64, '\0');
            for (char& c : text) c = static_cast<char>(random() % 256);
            return text;
        }
    }
}

}  // namespace

TEST(RecordFuzz, OnlyExceptionRecordsEscapeAndAcceptedTextsAreStable) {
    dhcptest::CRecordStore store;
    dhcptest::CDHCPRegistry v4(4), v6(6);
    std::mt19937 random(8202);
    for (const Subject& subject : kSubjects) {
        SCOPED_TRACE(subject.className);
        const CIPrstAbstractFactory& registry =
            subject.family == 0 ? store.registry : (subject.family == 6 ? v6 : v4).registry;
        const CPrstContextPtr& context =
            subject.family == 0 ? store.context() : (subject.family == 6 ? v6 : v4).context;
        std::vector<std::string> keys(std::begin(kExtraKeys), std::end(kExtraKeys));
        for (const CPrstFieldDef& row : registry.factory(subject.className).classDef().fields())
            if (!row.key.empty()) keys.push_back(row.key);
        std::size_t accepted = 0;
        for (int round = 0; round < 2000; ++round) {
            const bool json = round % 5 < 2;
            context->setRawIds(round % 7 == 3);
            context->setJsonOptions(json);
            const std::string text = makeText(random, subject.seed, keys, round);
            CPrstObjectPtr object = registry.create(subject.className, context);
            try {
                object->string(text);
            } catch (nbx::CException&) {
                continue;
            } catch (...) {
                ADD_FAILURE() << "a foreign exception escaped:\n" << text;
                continue;
            }
            ++accepted;
            for (bool mode : {json, !json}) {
                context->setJsonOptions(mode);
                std::string written;
                try {
                    written = object->string();
                    CPrstObjectPtr copy = registry.create(subject.className, context);
                    copy->string(written);
                    EXPECT_EQ(copy->string(), written) << text;
                } catch (nbx::CException& e) {
                    ADD_FAILURE() << "accepted text not stable: " << e.text() << "\n"
                                  << text << "\n--- written\n"
                                  << written;
                }
            }
        }
        context->setRawIds(false);
        context->setJsonOptions(false);
        // Pending records refuse every text.
        if (std::string(subject.className).find("Pending") != std::string::npos) {
            EXPECT_EQ(accepted, 0u);
        } else {
            EXPECT_GT(accepted, 20u);
        }
    }
}
