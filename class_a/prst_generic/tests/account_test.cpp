// Accounts and access-control entries: access lists, password mask, create rights, references.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generic_store.h"
#include "prst_generic/access_control.h"

using generictest::thrown;

namespace {

class Accounts : public generictest::GenericStore {
protected:
    std::unique_ptr<CPrstDeviceAccount> device(const std::string& acl) {
        auto account = make<CPrstDeviceAccount>();
        account->string("name=d\nclass=c\nacl=" + acl + "\n");
        return account;
    }
};

}  // namespace

TEST_F(Accounts, AccessListsAreReadByNameOrIdAndWrittenByName) {
    const std::uint32_t numericName = seed<CPrstDomain>("name=2024\n");  // OID 3
    struct Case {
        const char* acl;
        std::vector<std::uint32_t> ids;
        const char* written;
    } cases[] = {
        {"lab", {2}, "lab"},
        {"1", {1}, "root"},
        {" lab , 1 ,lab,, ", {2, 1}, "lab,root"},  // blanks, empty items and repeats dropped
        {"2024", {numericName}, "2024"},           // a name goes before an id
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.acl);
        auto account = device(c.acl);
        EXPECT_EQ(account->acl(), c.ids);
        EXPECT_EQ(account->string().substr(0, 5 + std::string(c.written).size()),
                  std::string("acl=") + c.written + "\n");
    }

    // A user's access list names roles: the same ids are other records there.
    auto user = make<CPrstUserAccount>();
    user->string("name=u\nacl=2,operators\n");
    EXPECT_EQ(user->acl(), (std::vector<std::uint32_t>{2, 1}));
    EXPECT_EQ(user->string().substr(0, 23), "acl=viewers,operators\nc");
    session.context()->setRawIds(true);  // with raw ids the list is written as ids
    EXPECT_EQ(user->string().substr(0, 8), "acl=2,1\n");
    session.context()->setRawIds(false);
}

TEST_F(Accounts, EachAccessListFailureNamesTheValue) {
    struct Case {
        const char* kind;
        bool raw;
        const char* acl;
        const char* reason;
    } cases[] = {
        {"account", false, "lab,nowhere", "Value 'nowhere' is not a valid domain name."},
        {"account", true, "lab", "Value 'lab' is not a numeric domain id."},
        {"user_account", false, "3", "Value '3' is not a valid domain ID."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + (c.raw ? " raw " : " ") + c.acl);
        CPrstObjectPtr account = make(c.kind);
        account->string("name=n\nclass=c\nacl=1\n");
        session.context()->setRawIds(c.raw);
        EXPECT_EQ(
            thrown([&] { account->string(std::string("name=n\nclass=c\nacl=") + c.acl + "\n"); }),
            std::string("Cannot set account record from text. | ") + c.reason +
                " @ prst_generic CPrstAccount::_setACLs");
        session.context()->setRawIds(false);
        EXPECT_EQ(account->get<std::string>("acl"), "1");  // the list stays as it was
    }

    // Without a session ids are taken as they are and names cannot be found.
    CPrstDeviceAccount account;
    account.string("name=d\nclass=c\nacl=7,2\n");
    EXPECT_EQ(account.acl(), (std::vector<std::uint32_t>{7, 2}));
    EXPECT_NE(account.string().find("acl=7,2\n"), std::string::npos);
    EXPECT_EQ(thrown([&] { account.string("name=d\nclass=c\nacl=lab\n"); }, false),
              "Cannot set account record from text. | Value 'lab' is not a valid domain name.");
}

TEST_F(Accounts, TheUserPasswordIsMaskedAndTheMaskKeepsIt) {
    auto user = session.newObject<CPrstUserAccount>();
    user->string("name=carol\npass=s3cret\n");
    const std::string text = user->string();
    EXPECT_NE(text.find("\npass=**********\n"), std::string::npos);
    user->string(text);  // the replicated text over the stored record
    EXPECT_EQ(user->password(), "s3cret");
    auto copy = make<CPrstUserAccount>();
    copy->string(text);
    EXPECT_EQ(copy->password(), "");  // a new record gets no password from the mask
}

TEST_F(Accounts, MinimumCreateRightsNameOnlyDomainsOfTheUsersRoles) {
    const std::string refused =
        "Domain 'other' cannot be part of attribute 'min_create_rights'. | Domain must be a "
        "subset of the existing roles: 'operators,viewers'. @ prst_generic "
        "CPrstUserAccount::_set";
    const std::pair<const char*, std::string> cases[] = {
        {"acl=operators\nmin_create_rights= lab , lab:write ", "<no exception>"},
        {"acl=operators,viewers\nmin_create_rights=root:read,lab", "<no exception>"},
        {"acl=operators,viewers\nmin_create_rights=lab,other:read", refused},
    };
    for (const auto& c : cases) {
        auto user = make<CPrstUserAccount>();
        EXPECT_EQ(thrown([&] { user->string(std::string("name=u\n") + c.first + "\n"); }),
                  c.second);
        if (c.second != "<no exception>") {
            EXPECT_EQ(user->minCreateRights(), "");
        }
    }
    // Roles that cannot be read grant nothing.
    CPrstUserAccount detached;
    EXPECT_EQ(thrown([&] { detached.string("name=u\nacl=1\nmin_create_rights=lab\n"); }, false),
              "Domain 'lab' cannot be part of attribute 'min_create_rights'. | Domain must be a "
              "subset of the existing roles: ''.");
}

TEST_F(Accounts, ResetTimesReadAsZeroWhenATextLeavesThemOut) {
    auto account = device("lab");
    account->string("name=d\nclass=c\nreconfig_time=30\nreprov_time=-1\n");
    EXPECT_EQ(account->reconfigTime(), 30u);
    EXPECT_EQ(account->reprovTime(), 4294967295u);
    EXPECT_NE(account->string().find("\nreconfig_time=30\nreprov_time=-1\n"), std::string::npos);
    account->string("name=d\nclass=c\n");
    EXPECT_NE(account->string().find("\nreconfig_time=0\nreprov_time=0\n"), std::string::npos);
    EXPECT_EQ(account->acl(), (std::vector<std::uint32_t>{2}));  // untouched by those texts
}

TEST_F(Accounts, AUserAccessEntryNamesARole) {
    EXPECT_EQ(
        thrown([&] { make("user_access_control")->string("access_id=alice\ndomain_id=lab\n"); }),
        "Cannot find OID of record lab of type CPrstRole. | No such record. @ prst_generic "
        "CPrstAccessControl<ACC,DOM>::_set");
}
