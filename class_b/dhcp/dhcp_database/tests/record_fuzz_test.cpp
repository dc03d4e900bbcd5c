// Mutated and truncated texts for the record classes: refused with an nbx::CException, or
// accepted and then written as a text that reads back to itself.

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
     "source_pool=pool-a\nsource_account=acct-1\nlease_commit=Mon Jan  1 10:00:00 2024\n"
     "lease_duration=Thu Jan  1 01:00:00 1970\noption-routers=10.0.0.1\n"},
    {0, "CPrstNetworkBinding6",
     "prefix_len=56\nduid=00-01\niatype=25\niaid=1\nipaddr=2001:db8:100::\n"
     "relay=2001:db8::1\nlease_duration=infinite\n"},
    {0, "CPrstAddressPending", "ipaddr=10.0.0.9\nrelay=10.0.0.1\nsource_pool=pool-a\n"},
    {0, "CPrstFAddressBinding4",
     "client_id=01\nsource_pool=pool-a\nipaddr=10.0.0.7\nrelay=10.0.0.1\nsession_id=7\n"
     "state=active\nlease_exp_time=1704106800\n"},
    {0, "CPrstFailoverPeer", "session_id=7\nrole=primary\ntarget=10.0.0.2:647\nmclt=3600\n"},
    {0, "CPrstPkt", "pkt_type=DHCPACK\npkt=02-01-06\nprimary_id=00:0c\noption-routers=10.0.0.1\n"},
    {4, "CPrstAddressPool4",
     "name=a\nrangestart=10.1.2.10\nrangestop=10.1.2.200\nrelay=10.1.2.1\nprefix=10.1.2.0\n"
     "prefix_len=24\nvalid_lt=7200\npref_lt=3600\noption-subnet-mask=255.255.255.0\n"},
    {6, "CPrstNetworkPool",
     "rangestart=2001:db8:100::\nrangestop=2001:db8:1ff::\nrelay=2001:db8::1\n"
     "prefix=2001:db8:100::\nprefix_len=40\nsub_prefix_len=48\n"},
    {6, "CPrstNPoolMark", "pool_oid=-1\nmark=2001:db8:1a0::\n"},
    {4, "CPolicyRecord", "name=voip\nenforce=true\noption-sip-servers=10.9.9.9\n"},
    {4, "CPrstOptionAttributes",
     "name=routers\ntype=ipaddress\ntagpath=3\nmax_instances=1\nfixed_offsets=0,4\n"},
    {4, "CPrstRule", "condition=(eq a b)\npri=3\npersist=no\ndomains_result=lab\n"},
    {4, "CPrstReplicatePeer",
     "classes=!option, rule\nconsole_pass=s3cret\nconsole_user=admin\ntarget=10.0.0.2:7000\n"},
};

const char* const kPieces[] = {
    "10.0.0.1",  "2001:db8::1", "infinite", "pool-a", "root:1", "[[\"option-a\",\"1\"]]",
    "-1",        "129",         "x",        ",",      ":",      "\xc3\xa9",
    "4294967296"};

// The seed cut anywhere, or with one key's value replaced or the key removed.
std::string mutated(std::mt19937& random, const std::string& seed, int round) {
    if (round % 2 == 0) return seed.substr(0, random() % (seed.size() + 1));
    nbx::CStringMap map(seed, "\n", 0, false);
    auto it = map.begin();
    std::advance(it, random() % map.size());
    const std::string key = it->first;
    std::string value;
    for (int n = random() % 3; n > 0; --n) value += kPieces[random() % std::size(kPieces)];
    if (value.empty())
        map.erase(key);
    else
        map.set(key, value);
    return map.string();
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
        for (int round = 0; round < 60; ++round) {
            context->setRawIds(round % 7 == 3);
            context->setJsonOptions(round % 3 == 0);
            const std::string text = mutated(random, subject.seed, round);
            CPrstObjectPtr object = registry.create(subject.className, context);
            try {
                object->string(text);
            } catch (nbx::CException&) {
                continue;
            }
            // Accepted texts read back to themselves.
            const std::string written = object->string();
            CPrstObjectPtr copy = registry.create(subject.className, context);
            EXPECT_NO_THROW(copy->string(written)) << text;
            EXPECT_EQ(copy->string(), written) << text;
        }
        context->setRawIds(false);
        context->setJsonOptions(false);
    }
}
