#include "dhcp_database/binding.h"

#include <cstdint>

#include "oodb_persistence/prst_ref_attr.h"

namespace {

nbx::CIPAddress unspecified(unsigned family) {
    return nbx::CIPAddress(family == 6 ? "::" : "0.0.0.0");
}

}  // namespace

// --- CIPrstBinding -----------------------------------------------------------------------------

std::vector<CPrstFieldDef> CIPrstBinding::_clientRows(const std::string& className, unsigned family,
                                                      const std::string& idKey,
                                                      const std::string& idAlias) {
    const std::string site = className + "::_preDeserialize";
    auto early = [&site](CPrstFieldDef row, const std::string& alias) {
        return row.read([site, alias](CPrstUserBase& self, const nbx::CStringMap& map,
                                      const CPrstFieldDef& def) {
            static_cast<CIPrstBinding&>(self)._readEarly(map, def, site, alias);
        });
    };
    if (family != 6) return {early(prst::value<nbx::CHexStore>("client_id", "CLIENT_ID"), "")};
    // The identifier is one attribute, whichever key the class writes it under.
    CPrstFieldDef id = prst::value<nbx::CHexStore>(idKey, "CLIENT_ID");
    id.name = "client_id";
    return {early(id, idAlias), early(prst::value<std::uint16_t>("iatype", "IATYPE"), ""),
            early(prst::value<std::uint32_t>("iaid", "IAID"), "")};
}

CPrstFieldDef CIPrstBinding::_prefixRow(const std::string& site) {
    return prst::value<std::uint16_t>("prefix_len", "PREFIX_LEN")
        .read([site](CPrstUserBase& self, const nbx::CStringMap& map, const CPrstFieldDef& row) {
            static_cast<CIPrstBinding&>(self)._readPrefixLength(map, row, site);
        });
}

CPrstFieldDef CIPrstBinding::_ipAddressRow(unsigned family) {
    return prst::value<nbx::CIPAddress>("ipaddr", "IPADDR", unspecified(family))
        .require()
        .read(&CIPrstBinding::_readIPAddress);
}

CPrstFieldDef CIPrstBinding::_relayRow(unsigned family) {
    return prst::value<nbx::CIPAddress>("relay", "RELAY", unspecified(family))
        .read(&CIPrstBinding::_readRelay);
}

CPrstFieldDef CIPrstBinding::_fixedRow() {
    return prst::value<bool>("fixed", "FIXED", true).absentAs("true");
}

CPrstFieldDef CIPrstBinding::_tidTypeRow() {
    return prst::value<std::uint32_t>("tid_type", "TID_TYPE").absentAs("0");
}

CPrstFieldDef CIPrstBinding::_protocolRow() {
    return prst::value<std::string>("protocol", "BOOT_PROTO", std::string("dhcpv4"))
        .as(CPrstFieldType::kBootProto)
        .absentAs("dhcpv4");
}

CPrstFieldDef CIPrstBinding::_domainsRow() {
    return prst::value<CPrstDomainMemberships>("domains", "DOMAINS").as(CPrstFieldType::kString);
}

void CIPrstBinding::_failAt(const std::string& site, nbx::CMessage reason) const {
    _failWith(nbx::CMessage(classDef().failureText()), std::move(reason), site);
}

void CIPrstBinding::_readEarly(const nbx::CStringMap& map, const CPrstFieldDef& row,
                               const std::string& site, const std::string& alias) {
    std::string key = row.key;
    std::string value;
    if (!map.get(key, value)) {
        if (alias.empty() || !map.get(alias, value)) {
            _failAt(site, nbx::msg("Missing '%1' key.", row.key));
        }
        key = alias;
    }
    try {
        attr(row.name).setText(*this, value);
    } catch (nbx::CException&) {
        _failAt(site, nbx::msg("Invalid value '%1' for key '%2'.", value, key));
    }
}

void CIPrstBinding::_readPrefixLength(const nbx::CStringMap& map, const CPrstFieldDef& row,
                                      const std::string& site) {
    std::string value;
    if (!map.get(row.key, value)) _failAt(site, nbx::msg("Missing '%1' key.", row.key));
    std::int64_t length = 0;
    try {
        length = prst::toNumber(value, 0, family() == 6 ? 128 : 32);
    } catch (nbx::CException&) {
        _failAt(site, nbx::msg("Invalid value '%1' for key '%2'.", value, row.key));
    }
    put<std::uint16_t>(row.name, static_cast<std::uint16_t>(length));
}

nbx::CIPAddress CIPrstBinding::_address(const std::string& key, const std::string& value,
                                        const char* wrongFamily) const {
    nbx::CIPAddress address;
    try {
        CPrstValueTraits<nbx::CIPAddress>::fromText(value, address);
    } catch (nbx::CException&) {
        _fail(nbx::msg("Invalid value '%1' for key '%2'.", value, key));
    }
    if (static_cast<unsigned>(address.type()) != family()) _fail(nbx::msg(wrongFamily));
    return address;
}

void CIPrstBinding::_readIPAddress(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    setIPAddress(
        _address(row.key, map.get(row.key), "Incorrect ip address type for key 'ipaddr'."));
}

void CIPrstBinding::_readRelay(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    // Older texts name the relay agent's address "giaddr".
    std::string key = row.key;
    std::string value;
    if (!map.get(key, value)) {
        key = "giaddr";
        if (!map.get(key, value)) _fail(nbx::msg("Missing 'relay' key."));
    }
    setRelay(_address(key, value, "Incorrect ip address type for key 'relay' (giaddr)."));
}

// --- CPrstBinding ------------------------------------------------------------------------------

CPrstClassDef CPrstBinding::_declare(CPrstClassDef def, unsigned family,
                                     const std::string& poolClass,
                                     const std::vector<CPrstFieldDef>& early) {
    def.module(NBX_MODULE_TAG).site("CPrstBinding::_set").failure(kFailure);
    for (const CPrstFieldDef& row : early) def.field(row);
    CPrstFieldDef duration =
        prst::derived<nbx::CTimeT>("lease_duration", [](const CPrstUserBase& self) {
            return static_cast<const CPrstBinding&>(self).leaseDuration();
        });
    duration.require()
        .read(&CPrstBinding::_readLeaseDuration)
        .write(&CPrstBinding::_writeLeaseDuration);
    return def.field(prst::modTime())
        .field(_ipAddressRow(family))
        .field(_relayRow(family))
        .field(_fixedRow())
        .field(_tidTypeRow())
        .field(prst::value<std::string>("tid", "TID"))
        .field(_protocolRow())
        .field(prst::reference("source_pool", "POOL_OID", poolClass))
        .field(prst::reference("source_account", "ACCOUNT_OID", "account"))
        .field(prst::value<std::string>("policies", "POLICIES"))
        .field(_domainsRow())
        .field(prst::value<nbx::CTimeT>("lease_commit", "LEASE_COMMIT"))
        .field(duration)
        // Written for the reader of the text; on input the expiry follows from the commit time
        // and the duration.
        .field(prst::value<nbx::CTimeT>("lease_expire", "LEASE_EXPIRE")
                   .read([](CPrstUserBase&, const nbx::CStringMap&, const CPrstFieldDef&) {}))
        .field(prst::value<std::uint32_t>("bindings_count", "BINDINGS_COUNT")
                   .as(CPrstFieldType::kULong)
                   .textKey(""))
        .field(prst::value<std::uint32_t>("tid_count", "TID_COUNT")
                   .as(CPrstFieldType::kULong)
                   .textKey(""))
        .field(prst::dhcpOptions());
}

nbx::CTimeT CPrstBinding::leaseDuration() const {
    const nbx::CTimeT expiry = leaseExpire();
    if (expiry.isInfinite()) return expiry;
    std::int64_t seconds = 0;
    // Stored times that are too far apart give a duration that has no text.
    if (__builtin_sub_overflow(expiry.value(), leaseCommit().value(), &seconds)) {
        seconds = INT64_MIN;
    }
    return nbx::CTimeT(seconds);
}

bool CPrstBinding::_expiry(const nbx::CTimeT& commit, const nbx::CTimeT& duration,
                           nbx::CTimeT& expiry) {
    if (duration.isInfinite()) {
        expiry = duration;
        return true;
    }
    std::int64_t seconds = 0;
    if (duration.value() < 0 || commit.isInfinite() ||
        __builtin_add_overflow(commit.value(), duration.value(), &seconds) ||
        seconds == nbx::CTimeT::kInfinite) {
        return false;
    }
    // The expiry is written with the record, so it must have a text.
    try {
        nbx::CTimeT(seconds).string();
    } catch (nbx::CException&) {
        return false;
    }
    expiry = nbx::CTimeT(seconds);
    return true;
}

void CPrstBinding::_readLeaseDuration(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    const std::string value = map.get(row.key);
    nbx::CTimeT duration;
    bool valid = true;
    try {
        if (context().rawIds() && value != "infinite" && value != "infinity") {
            // A plain number is a finite duration; the infinite one is written "infinite".
            duration.set(prst::toNumber(value, 0, nbx::CTimeT::kInfinite - 1));
        } else {
            duration.string(value);
        }
    } catch (nbx::CException&) {
        valid = false;
    }
    nbx::CTimeT expiry;
    if (!valid || !_expiry(leaseCommit(), duration, expiry)) {
        _fail(nbx::msg("Invalid value '%1' for key '%2'.", value, row.key));
    }
    setLeaseExpire(expiry);
}

void CPrstBinding::_writeLeaseDuration(nbx::CStringMap& map, const CPrstFieldDef& row) const {
    const nbx::CTimeT duration = leaseDuration();
    map.set(row.key, context().rawIds() && !duration.isInfinite() ? std::to_string(duration.value())
                                                                  : duration.string());
}
