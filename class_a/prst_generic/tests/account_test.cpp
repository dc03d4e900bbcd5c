// Accounts and access-control entries: access lists, password mask, create rights, references.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generic_store.h"
#include "prst_generic/access_control.h"

using generictest::failure;
using generictest::site;

namespace {

class Accounts : public generictest::GenericStore {
protected:
    std::unique_ptr<CPrstDeviceAccount> device(const std::string& acl) {
        auto account = make<CPrstDeviceAccount>();
        account->string("name=d\nclass=c\nacl=" + acl + "\n");
        return account;
    }
};

const char* const kACLSite = "prst_generic CPrstAccount::_setACLs";

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

    // With raw ids the list is written as ids.
    session.context()->setRawIds(true);
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
        const std::string text = std::string("name=n\nclass=c\nacl=") + c.acl + "\n";
        EXPECT_EQ(failure([&] { account->string(text); }),
                  std::string("Cannot set account record from text. | ") + c.reason);
        EXPECT_EQ(site([&] { account->string(text); }), kACLSite);
        session.context()->setRawIds(false);
        EXPECT_EQ(account->get<std::string>("acl"), "1");  // the list stays as it was
    }
}

TEST_F(Accounts, WithoutASessionIdsAreTakenAsTheyAreAndNamesCannotBeFound) {
    CPrstDeviceAccount account;
    account.string("name=d\nclass=c\nacl=7,2\n");
    EXPECT_EQ(account.acl(), (std::vector<std::uint32_t>{7, 2}));
    EXPECT_NE(account.string().find("acl=7,2\n"), std::string::npos);
    EXPECT_EQ(failure([&] { account.string("name=d\nclass=c\nacl=lab\n"); }),
              "Cannot set account record from text. | Value 'lab' is not a valid domain name.");
}

TEST_F(Accounts, TheUserPasswordIsMaskedAndTheMaskKeepsIt) {
    auto user = session.newObject<CPrstUserAccount>();
    user->string("name=carol\npass=s3cret\n");
    const std::string text = user->string();
    EXPECT_NE(text.find("\npass=**********\n"), std::string::npos);
    EXPECT_EQ(text.find("s3cret"), std::string::npos);

    user->string(text);  // the replicated text over the stored record
    EXPECT_EQ(user->password(), "s3cret");
    user->commit(0, CFullAccessToken::instance());
    EXPECT_EQ(row("user_account", user->oid()).values.at("PASS"), "s3cret");

    auto copy = make<CPrstUserAccount>();
    copy->string(text);
    EXPECT_EQ(copy->password(), "");  // a new record gets no password from the mask
}

TEST_F(Accounts, MinimumCreateRightsNameOnlyDomainsOfTheUsersRoles) {
    struct Case {
        const char* acl;
        const char* rights;
        const char* refused;  // null: accepted
    } cases[] = {
        {"operators", " lab , lab:write ", nullptr},
        {"operators,viewers", "root:read,lab", nullptr},
        {"operators,viewers", "lab,other:read",
         "Domain 'other' cannot be part of attribute 'min_create_rights'. | Domain must be a "
         "subset of the existing roles: 'operators,viewers'."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.acl) + " / " + c.rights);
        auto user = make<CPrstUserAccount>();
        const std::string text =
            std::string("name=u\nacl=") + c.acl + "\nmin_create_rights=" + c.rights + "\n";
        if (c.refused) {
            EXPECT_EQ(failure([&] { user->string(text); }), c.refused);
            EXPECT_EQ(site([&] { user->string(text); }), "prst_generic CPrstUserAccount::_set");
            EXPECT_EQ(user->minCreateRights(), "");
        } else {
            EXPECT_EQ(failure([&] { user->string(text); }), "<no exception>");
        }
    }
    // Roles that cannot be read grant nothing.
    CPrstUserAccount detached;
    EXPECT_EQ(failure([&] { detached.string("name=u\nacl=1\nmin_create_rights=lab\n"); }),
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
    EXPECT_EQ(account->reconfigTime(), 0u);
    EXPECT_EQ(account->reprovTime(), 0u);
    EXPECT_NE(account->string().find("\nreconfig_time=0\nreprov_time=0\n"), std::string::npos);
    EXPECT_EQ(failure([&] { account->string("name=d\nclass=c\nreconfig_time=soon\n"); }),
              "Failed to set an account record from text. | Invalid value 'soon' for key "
              "'reconfig_time'.");
    EXPECT_EQ(account->acl(), (std::vector<std::uint32_t>{2}));  // untouched by those texts
}

TEST_F(Accounts, AccessControlEntriesReferToAccountsAndDomainsByName) {
    struct Case {
        const char* kind;
        const char* text;
        const char* result;  // the written text's references, or the failure
    } cases[] = {
        {"access_control", "access_id=desk-1\ndomain_id=lab\n", "access_id=desk-1 domain_id=lab"},
        {"access_control", "access_id=1\ndomain_id=1\n", "access_id=desk-1 domain_id=root"},
        {"access_control", "access_id=7\ndomain_id=lab\n", "access_id=7 domain_id=lab"},
        {"user_access_control", "access_id=alice\ndomain_id=operators\n",
         "access_id=alice domain_id=operators"},
        {"user_access_control", "access_id=alice\ndomain_id=lab\n",
         "Cannot find OID of record lab of type CPrstRole. | No such record."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + ": " + c.text);
        CPrstObjectPtr entry = make(c.kind);
        const std::string problem = failure([&] { entry->string(c.text); });
        if (problem != "<no exception>") {
            EXPECT_EQ(problem, c.result);
            EXPECT_EQ(site([&] { entry->string(c.text); }),
                      "prst_generic CPrstAccessControl<ACC,DOM>::_set");
            continue;
        }
        nbx::CStringMap written(entry->string(), "\n");
        EXPECT_EQ(
            "access_id=" + written.get("access_id") + " domain_id=" + written.get("domain_id"),
            c.result);
    }
}
