#pragma once
// Failover bindings: the failover protocol's state of a binding, kept for the failover peer
// (CPrstFAddressBinding4/6 "failover_address_binding", CPrstFNetworkBinding and
// CPrstFNetworkBinding6 "failover_network_binding"). Client keys and address checks are those
// of the plain bindings; "source_pool" is required. The state keys are kept as the protocol
// gives them: "state", "request" and "update_status" as text, "session_id", "underlying_oid"
// and the protocol's times (seconds) as numbers.

#include "dhcp_database/binding.h"

class CPrstFBinding : public CIPrstBinding {
public:
    // The keys of the failover protocol's times.
    static const std::vector<std::string>& timeKeys();

    std::uint32_t sessionId() const { return get<std::uint32_t>("session_id"); }
    void setSessionId(std::uint32_t v) { put<std::uint32_t>("session_id", v); }
    const std::string& state() const { return get<std::string>("state"); }
    void setState(const std::string& v) { put<std::string>("state", v); }
    const std::string& request() const { return get<std::string>("request"); }
    void setRequest(const std::string& v) { put<std::string>("request", v); }
    const std::string& updateStatus() const { return get<std::string>("update_status"); }
    void setUpdateStatus(const std::string& v) { put<std::string>("update_status", v); }
    // OID of the binding this state belongs to.
    std::uint32_t underlyingOID() const { return get<std::uint32_t>("underlying_oid"); }
    void setUnderlyingOID(std::uint32_t v) { put<std::uint32_t>("underlying_oid", v); }
    // One of timeKeys().
    std::uint32_t time(const std::string& key) const { return get<std::uint32_t>(key); }
    void setTime(const std::string& key, std::uint32_t v) { put<std::uint32_t>(key, v); }

protected:
    using CIPrstBinding::CIPrstBinding;
    static CPrstClassDef _declare(CPrstClassDef def, unsigned family, const std::string& poolClass,
                                  const std::vector<CPrstFieldDef>& early);
};

class CPrstFAddressBinding : public CPrstFBinding {
protected:
    using CPrstFBinding::CPrstFBinding;
    static CPrstClassDef _declare(const char* className, unsigned family);
};

class CPrstFAddressBinding4 : public CPrstFAddressBinding {
public:
    static const CPrstClassDef& classDef();
    CPrstFAddressBinding4() : CPrstFAddressBinding(classDef()) {}
    unsigned family() const override { return 4; }
};

class CPrstFAddressBinding6 : public CPrstFAddressBinding {
public:
    static const CPrstClassDef& classDef();
    CPrstFAddressBinding6() : CPrstFAddressBinding(classDef()) {}
    unsigned family() const override { return 6; }
};

class CPrstFNetworkBinding : public CPrstFBinding {
public:
    static const CPrstClassDef& classDef();
    CPrstFNetworkBinding() : CPrstFNetworkBinding(classDef()) {}
    unsigned family() const override { return 4; }

protected:
    explicit CPrstFNetworkBinding(const CPrstClassDef& def) : CPrstFBinding(def) {}
    static CPrstClassDef _declare(const char* className, unsigned family);
};

class CPrstFNetworkBinding6 : public CPrstFNetworkBinding {
public:
    static const CPrstClassDef& classDef();
    CPrstFNetworkBinding6() : CPrstFNetworkBinding(classDef()) {}
    unsigned family() const override { return 6; }
};
