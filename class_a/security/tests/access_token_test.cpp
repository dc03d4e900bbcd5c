#include "security/access_token.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "security/security_exception.h"
#include "standard/throw.h"

namespace {

class CDocument : public CISecuredObject {
public:
    bool string(const std::string&) override { return true; }
    std::string string() const override { return "document"; }
    std::uint32_t securedId() const override { return 7; }
    std::string securedClassName() const override { return "document"; }
};

// Grants write only on the object with id 7, to show that the object asks its token.
class COwnerToken : public CAccessToken {
public:
    std::uint32_t rights(const CISecuredObject& object) const override {
        return object.securedId() == 7 ? RIGHT_ALL : RIGHT_READ;
    }
};

}  // namespace

TEST(AccessToken, RightsAreAskedOfTheTokenThroughTheObject) {
    CDocument document;
    const CFixedRightsToken readOnly(CAccessToken::RIGHT_READ);
    const CFixedRightsToken none(CAccessToken::RIGHT_NONE);
    const COwnerToken owner;
    struct Case {
        const char* name;
        const CAccessToken& token;
        std::uint32_t rights;
    } cases[] = {
        {"full", CFullAccessToken::instance(), 3u},
        {"read only", readOnly, 1u},
        {"none", none, 0u},
        {"owner", owner, 3u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(document.accessRights(c.token), c.rights);
    }
}

TEST(AccessToken, SecurityExceptionIsAnExceptionRecordThatKeepsItsTypeWhenCloned) {
    CSecurityException record = nbx::makeException<CSecurityException>(
        NBX_STATIC_SITE("security", "test"),
        nbx::msg("Cannot commit record %1 of class %2.", 5u, std::string("domain")),
        nbx::msg("Access denied."));
    std::unique_ptr<nbx::CException> copy(record.clone());
    EXPECT_NE(dynamic_cast<CSecurityException*>(copy.get()), nullptr);
    EXPECT_EQ(copy->text(), "Cannot commit record 5 of class domain. (Access denied.)");
}
