#include "dhcp_database/replicate_peer.h"

#include "extended/config.h"
#include "oodb_persistence/prst_abstract_factory.h"

namespace {

// The two spellings are the record's own: the class and target failures say "a replicate
// peer record", the console ones "replicate peer record".
constexpr const char* kConsoleFailure = "Failed to set replicate peer record from text.";

}  // namespace

const CPrstClassDef& CPrstReplicatePeer::classDef() {
    using S = std::string;
    static const CPrstClassDef def =
        CPrstClassDef("CPrstReplicatePeer", "replicate_peer", "nbx_rep_peers")
            .module(NBX_MODULE_TAG)
            .site("CPrstReplicatePeer::string")
            .failure("Failed to set a replicate peer record from text.")
            .field(prst::value<S>("description", "DESCRIPTION"))
            .field(prst::value<S>("classes", "CLASSES")
                       .require()
                       .read(&CPrstReplicatePeer::_readClasses))
            .field(prst::value<S>("target", "TARGET").require())
            .field(prst::value<S>("logdir", "LOG_DIR").read(&CPrstReplicatePeer::_readLogDir))
            .field(prst::value<S>("console_user", "CONSOLE_USER").require(kConsoleFailure))
            .field(prst::value<S>("console_pass", "CONSOLE_PASS")
                       .require(kConsoleFailure)
                       .read(&CPrstReplicatePeer::_readPassword)
                       .write(&CPrstReplicatePeer::_writePassword))
            .field(prst::value<CPrstDomainMemberships>("domains", "DOMAINS")
                       .as(CPrstFieldType::kString))
            .field(prst::value<bool>("enabled", "ENABLED", true)
                       .read(&CPrstReplicatePeer::_readEnabled))
            .field(prst::modTime());
    return def;
}

bool CPrstReplicatePeer::classListValid(const std::string& classes,
                                        const CIPrstAbstractFactory* registry) {
    if (classes.empty()) return true;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = classes.find(',', start);
        std::string item =
            classes.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        item.erase(0, item.find_first_not_of(" !"));
        bool known =
            item == "*" || item == "all" || (registry && registry->knowsTextClassName(item));
        if (!known) return false;
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

void CPrstReplicatePeer::_readClasses(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    const std::string value = map.get(row.key);
    const CIPrstAbstractFactory* registry = context().registry();
    if (!classListValid(value, registry)) {
        std::string known;
        if (registry) {
            for (const std::string& name : registry->knownTextClassNames()) {
                if (!known.empty()) known += ",";
                known += name;
            }
        }
        _fail<CPrstUnknownClassException>(
            nbx::msg("Classes must be a set of '%1', '*' or ''.", known));
    }
    setClasses(value);
}

void CPrstReplicatePeer::_readLogDir(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    std::string value;
    setLogDir(map.get(row.key, value) ? value : target());
}

void CPrstReplicatePeer::_readPassword(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    const std::string value = map.get(row.key);
    if (value != kPasswordMask) setConsolePass(value);
}

void CPrstReplicatePeer::_writePassword(nbx::CStringMap& map, const CPrstFieldDef& row) const {
    map.set(row.key, kPasswordMask);
}

void CPrstReplicatePeer::_readEnabled(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    std::string value;
    if (!map.get(row.key, value)) return;
    bool enabled = true;
    try {
        enabled = prst::toBool(value);
    } catch (nbx::CException&) {
        enabled = true;
    }
    setEnabled(enabled);
}

std::string CPrstReplicatePeer::consolePassword() const {
    if (!consoleUser().empty() || !consolePass().empty()) return consolePass();
    const nbx::CConfig* config = context().config();
    return config ? config->getString(kDefaultPasswordKey, std::string()) : std::string();
}
