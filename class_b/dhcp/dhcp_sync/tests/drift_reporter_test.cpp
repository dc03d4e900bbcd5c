// What the drift report counts as a difference between two texts of one object.

#include "operations/drift_reporter.h"

#include <gtest/gtest.h>

namespace {

std::string differing(const std::string& local, const std::string& peer) {
    return CDriftReporter::differingFields(nbx::CStringMap(local, "\n"),
                                           nbx::CStringMap(peer, "\n"));
}

TEST(DriftFields, EqualContentWithAnotherTimeOrMaskedPasswordIsNoDifference) {
    EXPECT_EQ(differing("oid=5\nmod_time=Mon Dec  7 10:00:00 2026\nname=bob\npassword=**********\n",
                        "oid=5\nmod_time=Tue Dec  8 10:00:00 2026\nname=bob\npassword=secret\n"),
              "");
}

TEST(DriftFields, NamesChangedMissingAndAddedKeysInKeyOrder) {
    EXPECT_EQ(differing("name=a\nvalue=dark\nclass=ui\n", "name=a\nvalue=light\nkey=theme\n"),
              "class,key,value");
}

}  // namespace
