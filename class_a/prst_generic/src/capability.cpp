#include "prst_generic/capability.h"

#include "oodb_persistence/prst_exception.h"
#include "prst_generic/text_list.h"

const CPrstClassDef& CPrstCapability::classDef() {
    // The target classes travel under "target_class" but are reported missing by their plural.
    static const CPrstClassDef def =
        CPrstClassDef("CPrstCapability", "capability", "capability")
            .module(NBX_MODULE_TAG)
            .site("CPrstCapability::_set")
            .failure("Failed to set a rights record from text.")
            .field(prst::modTime())
            .field(prst::value<std::string>("description", "DESCRIPTION"))
            .field(prst::value<std::string>("target_class", "TARGET_CLASSES")
                       .requireReason("Missing 'target_classes' key.")
                       .read(&CPrstCapability::_readTargetClasses))
            .field(prst::value<std::uint32_t>("rights", "RIGHTS")
                       .as(CPrstFieldType::kAccessRights)
                       .require())
            .field(prst::reference<CPrstCapability, CPrstRole>("role_id", "ROLE_ID").require())
            .field(prst::domainMemberships());
    return def;
}

void CPrstCapability::_readTargetClasses(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    const std::string value = map.get(row.key);
    for (const std::string& item : prst::splitList(value)) {
        if (item != "*" && !prst::isKnownClassName(context(), item)) {
            _fail<CPrstUnknownClassException>(
                nbx::msg("Target classes must be a set of '%1', '*' or ''.",
                         prst::joinList(prst::knownClassNames(context()))));
        }
    }
    put<std::string>(row.name, value);
}
