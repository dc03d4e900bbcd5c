// Random, mutated and truncated texts for every record class of pools, marks, policies, option
// and vendor definitions and rules: only nbx::CException may escape, and whatever is accepted
// is written as a text that reads back to itself.

#include <gtest/gtest.h>

#include <exception>
#include <random>
#include <string>
#include <vector>

#include "record_test_support.h"

namespace {

struct Subject {
    unsigned family;
    const char* className;
    std::string seed;  // a valid text
};

const Subject kSubjects[] = {
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
    {4, "CPrstVendorAttributes",
     "name=acme\ntype=string\ntagpath=125/4491/1\nuser_definable=disallowed\n"
     "context_vendor_id=4491\n"},
    {4, "CPrstRule", "condition=(eq a b)\npri=3\npersist=no\ndomains_result=lab\n"},
};

const char* const kKeys[] = {
    "oid",
    "mod_time",
    "domains",
    "enabled",
    "name",
    "rangestart",
    "rangestop",
    "relay",
    "giaddr",
    "prefix",
    "prefix_len",
    "sub_prefix_len",
    "valid_lt",
    "pref_lt",
    "weight",
    "options",
    "option-subnet-mask",
    "-option-x",
    "pool_oid",
    "mark",
    "type",
    "tagpath",
    "max_instances",
    "user_definable",
    "fixed_offsets",
    "vendor_oro",
    "condition",
    "pri",
    "enforce",
    "xrange",
};

// Pieces that values are made of: address fragments, numbers, separators.
const char* const kPieces[] = {
    "10.",  "1.",   "2",       "255",     ".0",       "2001:", "db8:",       "::",
    "fe80", "ff01", "127",     "169.254", "0",        "-1",    "24",         "64",
    "128",  "129",  "true",    "x",       ",",        ":",     "[[",         "\"",
    "]]",   "=",    "allowed", " ",       "\xc3\xa9", "/",     "4294967296", "root:1",
};

std::string randomValue(std::mt19937& random) {
    std::string value;
    const int pieces = static_cast<int>(random() % 5);
    for (int i = 0; i < pieces; ++i) value += kPieces[random() % std::size(kPieces)];
    return value;
}

// One of four kinds of input, by round.
std::string makeText(std::mt19937& random, const std::string& seed, int round) {
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
        case 2: {  // random keys with random values
            std::string text;
            for (const char* key : kKeys) {
                if (random() % 3 != 0) continue;
                text += std::string(key) + "=" + randomValue(random) + "\n";
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

TEST(RecordsFuzz, OnlyExceptionRecordsEscapeAndAcceptedTextsAreStable) {
    std::mt19937 random(8202);
    for (const Subject& subject : kSubjects) {
        SCOPED_TRACE(subject.className);
        for (bool json : {false, true}) {
            dhcptest::CDHCPRegistry server(subject.family);
            server.context->setJsonOptions(json);
            std::size_t accepted = 0;
            for (int round = 0; round < 1500; ++round) {
                const std::string text = makeText(random, subject.seed, round);
                CPrstObjectPtr object = server.createClass(subject.className);
                try {
                    object->string(text);
                } catch (nbx::CException&) {
                    continue;
                } catch (std::exception& e) {
                    ADD_FAILURE() << "escaped: " << e.what() << "\n" << text;
                    continue;
                }
                ++accepted;
                // Written in either option mode, it reads back to the same text.
                for (bool mode : {json, !json}) {
                    server.context->setJsonOptions(mode);
                    std::string written;
                    try {
                        written = object->string();
                        CPrstObjectPtr copy = server.createClass(subject.className);
                        copy->string(written);
                        EXPECT_EQ(copy->string(), written) << text;
                    } catch (nbx::CException& e) {
                        ADD_FAILURE() << "accepted text not stable: " << e.text() << "\n"
                                      << text << "\n--- written\n"
                                      << written;
                    }
                }
                server.context->setJsonOptions(json);
            }
            EXPECT_GT(accepted, 20u) << (json ? "json" : "lines");
        }
    }
}
