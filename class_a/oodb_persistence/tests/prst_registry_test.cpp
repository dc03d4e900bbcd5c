// The class registry, the initializers and the schema version.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extended/config.h"
#include "oodb_persistence/prst_initializer.h"
#include "test_support.h"
#include "testing/recording_controller.h"

using prsttest::failure;

namespace {

class CTestNeedsArgument : public CPersistentSecuredObject<CTestNeedsArgument> {
public:
    explicit CTestNeedsArgument(int) {}
    static const CPrstClassDef& classDef() {
        static const CPrstClassDef def = CPrstClassDef("CTestNeedsArgument", "needs", "needs");
        return def;
    }
};

// The names joined by blanks.
std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) out += (out.empty() ? "" : " ") + name;
    return out;
}
std::string classNames(const std::vector<CPrstClassEntry>& entries) {
    std::vector<std::string> names;
    for (const CPrstClassEntry& entry : entries) names.push_back(entry.className);
    return joined(names);
}

const std::string kGenericClassNames =
    "CPrstSecuredObjectImpl CPrstDeviceAccount CPrstUserAccount CPrstDomain CPrstDomainGroup "
    "CPrstDeviceAccessControl CPrstUserAccessControl CPrstKeyValue CPrstSample CPrstSQLQuery "
    "CPrstSQLQueryGroup CPrstSNMPQuery CPrstSNMPQueryGroup CPrstCapability CPrstRole";
const std::string kGenericTextNames =
    "account user_account domain domain_group access_control user_access_control keyvalue "
    "sample sql_query sql_query_group snmp_query snmp_query_group capability user_role";

}  // namespace

TEST(PrstAbstractFactory, ClassesAreCreatedByClassNameAndByTextClassName) {
    CIPrstAbstractFactory registry;
    registry.registerClass<CTestGadget>();
    registry.registerClass<CTestOwner>(false);
    registry.registerClass<CTestNeedsArgument>();
    EXPECT_NE(dynamic_cast<CTestGadget*>(registry.create("CTestGadget", nullptr).get()), nullptr);
    auto context = std::make_shared<CPrstContext>();
    CPrstObjectPtr byText = registry.createByTextName("gadget", context);
    EXPECT_NE(dynamic_cast<CTestGadget*>(byText.get()), nullptr);
    EXPECT_EQ(byText->contextPtr(), context);
    EXPECT_NE(dynamic_cast<CTestOwner*>(registry.create("CTestOwner", nullptr).get()), nullptr);
    EXPECT_EQ(registry.findByTextName("owner"), nullptr);  // registered by class name only
    EXPECT_EQ(registry.knownTextClassNames(), (std::vector<std::string>{"gadget", "needs"}));

    EXPECT_EQ(failure<CPrstException<14>>([&] { registry.create("CPrstNothing", nullptr); }),
              "Unable to find a factory for class 'CPrstNothing'. | No such factory.");
    EXPECT_EQ(prsttest::site([&] { registry.factory("CPrstNothing"); }),
              "oodb_persistence CPrstUserClassFactory<USER_CLASS>::_prototype");
    EXPECT_EQ(failure<CPrstException<15>>([&] { registry.createByTextName("nothing", nullptr); }),
              "Cannot find persistent object of type 'nothing'. | No such persistent object.");
    EXPECT_EQ(
        failure([&] { registry.registerClass<CTestGadget>(); }),
        "Unable to register a factory for class 'CTestGadget'. | The factory already exists.");
    EXPECT_EQ(failure([&] { registry.createByTextName("needs", nullptr); }),
              "Cannot create an instance of persistent class 'CTestNeedsArgument'. | Persistent "
              "object is not default constructible.");
}

TEST(PrstAbstractFactory, AnUnregisteredClassIsGoneByBothNamesButStaysAKnownTextClassName) {
    CIPrstAbstractFactory registry;
    registry.registerClass<CTestGadget>();
    registry.registerClass<CTestOwner>();
    EXPECT_EQ(&registry.prototypes()["CTestGadget"], &registry.factory("CTestGadget"));

    registry.unregisterClass("CTestGadget");
    EXPECT_EQ(registry.findByTextName("gadget"), nullptr);
    EXPECT_EQ(registry.factories().size(), 1u);
    EXPECT_TRUE(registry.knowsTextClassName("gadget"));
    EXPECT_EQ(failure([&] { registry.prototypes()["CTestGadget"]; }),
              "Unable to find prototype for class 'CTestGadget'. | No such prototype.");
    EXPECT_EQ(failure([&] { registry.unregisterClass("CTestGadget"); }),
              "Unable to find object prototype for class 'CTestGadget'. | No such prototype.");
    registry.registerClass<CTestGadget>();  // its name is free again
    EXPECT_NE(registry.findByTextName("gadget"), nullptr);
}

// Without a catalogue no class is registered, but every text class name becomes known.
TEST(PrstInitializer, ListsItsClassesAndTextClassNamesInRegistrationOrder) {
    EXPECT_EQ(classNames(CPrstGenericInitializer().classes()), kGenericClassNames);
    EXPECT_EQ(classNames(CPrstDHCPInitializer().classes()),
              kGenericClassNames +
                  " CPrstPkt CPolicyRecord CPrstOptionAttributes CPrstVendorAttributes "
                  "CPrstAddressPool CPrstNetworkPool CPrstAddressBinding CPrstNetworkBinding "
                  "CPrstAddressPending CPrstNetworkPending CPrstRule CPrstReplicatePeer "
                  "CPrstFailoverPeer CPrstAPoolMark CPrstNPoolMark CPrstFAddressBinding "
                  "CPrstFNetworkBinding");
    CPrstClassCatalog catalog;
    CIPrstAbstractFactory generic;
    CPrstGenericInitializer().init({&generic, &catalog, {}, 4});
    EXPECT_EQ(joined(generic.knownTextClassNames()), kGenericTextNames);
    EXPECT_TRUE(generic.factories().empty());
    CIPrstAbstractFactory dhcp;
    CPrstDHCPInitializer().init({&dhcp, &catalog, {}, 6});
    // The pool marks are listed by class name only.
    EXPECT_EQ(joined(dhcp.knownTextClassNames()),
              kGenericTextNames +
                  " historical_packet policy option vendor_class address_pool network_pool "
                  "address_binding network_binding address_pending network_pending rule "
                  "replicate_peer failover_peer failover_address_binding failover_network_binding");
}

TEST(PrstInitializer, RunsTheRegistrationOfEveryWantedClassTheCatalogueHolds) {
    CPrstClassCatalog catalog;
    std::vector<std::string> calls;
    catalog.add(
        "CPrstRule", [&](CIPrstAbstractFactory& registry, bool byTextName, unsigned family) {
            calls.push_back("rule " + std::to_string(byTextName) + " " + std::to_string(family));
            registry.registerClass<CTestGadget>(byTextName);
        });
    catalog.add("CPrstAPoolMark", [&](CIPrstAbstractFactory&, bool byTextName, unsigned) {
        calls.push_back("mark " + std::to_string(byTextName));
    });
    catalog.add("CPrstDomain",
                [&](CIPrstAbstractFactory&, bool, unsigned) { calls.push_back("domain"); });

    CIPrstAbstractFactory registry;
    CPrstDHCPInitializer().init(
        {&registry, &catalog, {"CPrstAPoolMark", "CPrstRule", "CPrstSample"}, 6});
    // List order, not the order of the wanted names; the domain was not wanted.
    EXPECT_EQ(calls, (std::vector<std::string>{"rule 1 6", "mark 0"}));
    EXPECT_EQ(registry.knownTextClassNames(),
              (std::vector<std::string>{"sample", "rule", "gadget"}));
}

TEST(PrstInitializer, RefusesMissingArgumentsAndUnknownFamilies) {
    CPrstClassCatalog catalog;
    CIPrstAbstractFactory registry;
    const CPrstGenericInitializer generic;
    const CPrstDHCPInitializer dhcp;
    const struct {
        const CPrstGenericInitializer& initializer;
        CPrstInitArgs args;
        const char* reason;
    } cases[] = {{generic, {nullptr, &catalog, {}, 4}, "Internal error."},
                 {dhcp, {&registry, nullptr, {}, 4}, "Invalid arguments."},
                 {dhcp, {&registry, &catalog, {}, 5}, "Unknown protocol family."}};
    for (const auto& c : cases) {
        EXPECT_EQ(failure([&] { c.initializer.init(c.args); }),
                  std::string("Cannot execute persistent object initializer. | ") + c.reason);
    }
}

TEST(PrstInitializer, AliasesNameTheTablesOfTheStatementFiles) {
    nbx::CStringMap generic = CPrstGenericInitializer().aliases();
    nbx::CStringMap dhcp = CPrstDHCPInitializer().aliases();
    EXPECT_EQ(generic.size(), 22u);
    EXPECT_EQ(dhcp.size(), 40u);
    struct Case {
        const char* alias;
        const char* name;
    } cases[] = {
        {"T", "<Applies to current first-class object>"},
        {"SQT", "sql_query_target_classes"},
        {"RP", "replicate_peer"},
        {"FNB", "failover_network_binding"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.alias);
        EXPECT_EQ(dhcp.get(c.alias), c.name);
    }
    EXPECT_FALSE(generic.has("RP"));
}

TEST(PrstInitializer, AConfiguredSchemaVersionOverridesTheApplicationsWithAMessage) {
    nbx::testing::RecordingLogSink sink;
    nbx::CConfig config("system.db.schema.version=7\n", "\n");
    EXPECT_EQ(CPrstDHCPInitializer::schemaVersion(&config, 1, &sink), 7u);
    ASSERT_EQ(sink.entries().size(), 1u);
    EXPECT_EQ(sink.entries()[0].text,
              "Configured schema version 7 is overriding application schema version 1.");
    EXPECT_EQ(sink.entries()[0].severity, nbx::SEVERITY_WARNING);
    EXPECT_EQ(sink.entries()[0].module, "oodb_persistence");

    sink.clear();
    EXPECT_EQ(CPrstDHCPInitializer::schemaVersion(&config, 7, &sink), 7u);
    EXPECT_EQ(CPrstDHCPInitializer::schemaVersion(nullptr, 3, &sink), 3u);
    EXPECT_TRUE(sink.entries().empty());
}

TEST(PrstInitializer, TheDHCPMetaFactoryHoldsRegistryAliasesAndSchemaVersion) {
    CPrstClassCatalog catalog;
    catalog.add<CTestGadget>();
    catalog.add("CPrstReplicatePeer", [](CIPrstAbstractFactory& registry, bool, unsigned) {
        registry.registerClass<CTestOwner>();
    });
    nbx::CConfig config("system.db.schema.version=2\n", "\n");
    CPrstDHCPMetaAbstractFactory meta({nullptr, &catalog, {}, 4}, &config, 2, nullptr);
    EXPECT_EQ(meta.schemaVersion(), 2u);
    EXPECT_EQ(meta.aliases().get("RP"), "replicate_peer");
    // The gadget is in the catalogue but in no list: it is not registered.
    ASSERT_EQ(meta.registry().factories().size(), 1u);
    EXPECT_EQ(meta.registry().factories()[0]->className(), "CTestOwner");
}
