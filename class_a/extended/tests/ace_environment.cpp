// ACE is initialised once for the whole test run, as the plug-in's entry point does.

#include <ace/Init_ACE.h>
#include <gtest/gtest.h>

namespace {

class AceEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ACE::init(); }
    void TearDown() override { ACE::fini(); }
};

[[maybe_unused]] ::testing::Environment* const kAce =
    ::testing::AddGlobalTestEnvironment(new AceEnvironment);

}  // namespace
