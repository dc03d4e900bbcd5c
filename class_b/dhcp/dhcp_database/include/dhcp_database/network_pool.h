#pragma once
// Network pools (text class name "network_pool", table "network_pool"): a range from which
// whole prefixes of "sub_prefix_len" bits are handed out. One class serves both families; a
// pool has the family of its range.
//
// Besides the pool's keys it requires "sub_prefix_len" (read first, before the range, and at
// most the family's address length), "prefix" and "prefix_len" (_setPrefixData); the handed-out
// prefixes cannot be wider than the pool's own ("Key 'sub_prefix_len' cannot be less than key
// 'prefix_len'.").

#include "dhcp_database/pool.h"

class CPrstNetworkPool : public CPrstPool {
public:
    static const CPrstClassDef& classDef();
    CPrstNetworkPool() : CPrstPool(classDef()) {}

    unsigned family() const override { return static_cast<unsigned>(rangeStart().type()); }
    unsigned subPrefixLen() const override { return get<std::uint16_t>("sub_prefix_len"); }
    void setSubPrefixLen(unsigned length) override {
        put<std::uint16_t>("sub_prefix_len", static_cast<std::uint16_t>(length));
    }

protected:
    unsigned _requiredFamily() const override { return 0; }
    void _preDeserialize(const nbx::CStringMap& map) override;
    void _setPrefixData(const nbx::CStringMap& map) override;

private:
    [[noreturn]] void _networkFail(nbx::CMessage reason, const char* function) const {
        _failWith(nbx::CMessage(classDef().failureText()), std::move(reason), function);
    }
};
