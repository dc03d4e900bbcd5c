#include "dhcp_database/prst_dhcp_options.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "record_test_support.h"

namespace {

// The least record that carries options.
class OptionsRecord : public CPrstDHCPOptionsRecord<OptionsRecord> {
public:
    static const CPrstClassDef& classDef() {
        static const CPrstClassDef def =
            CPrstClassDef("OptionsRecord", "options_record", "options_record")
                .module(NBX_MODULE_TAG)
                .site("OptionsRecord::_set")
                .failure("Cannot set options record from text.")
                .field(prst::value<std::string>("name", "NAME").require())
                .field(prst::dhcpOptions());
        return def;
    }
};

class OptionsRecordTest : public ::testing::Test {
protected:
    std::unique_ptr<OptionsRecord> record() {
        auto object = std::make_unique<OptionsRecord>();
        object->setContext(context);
        return object;
    }
    CPrstContextPtr context = std::make_shared<CPrstContext>();
};

const char* const kLineText =
    "name=pool-a\noid=5\n-option-domain-name=\noption-routers=10.0.0.1\n"
    "option-subnet-mask=255.255.255.0\n";

}  // namespace

TEST_F(OptionsRecordTest, EachModeReadsOnlyItsOwnFormOfTheOptions) {
    auto original = record();
    original->string(kLineText);
    EXPECT_EQ(original->options().size(), 3u);
    EXPECT_EQ(original->string(), kLineText);

    context->setJsonOptions(true);
    const std::string json = original->string();
    EXPECT_EQ(json,
              "name=pool-a\noid=5\noptions=[[\"-option-domain-name\",\"\"],"
              "[\"option-routers\",\"10.0.0.1\"],[\"option-subnet-mask\",\"255.255.255.0\"]]\n");
    auto copy = record();
    copy->string(json + "option-time-offset=3600\n");  // lines are not read in this mode
    EXPECT_TRUE(copy->options() == original->options());

    context->setJsonOptions(false);
    auto lines = record();
    lines->string(json);  // and the JSON entry is not read in line mode
    EXPECT_TRUE(lines->options().empty());
}

TEST_F(OptionsRecordTest, BadOptionsFailWithTheRecordsMessage) {
    context->setJsonOptions(true);
    EXPECT_EQ(dhcptest::outcome([&] { record()->string("name=a\noptions={\"x\":1}\n"); }).text,
              "Cannot set options record from text. | The text is not a JSON array.");
}
