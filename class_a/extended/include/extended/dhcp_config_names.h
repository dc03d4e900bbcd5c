#pragma once
// The DHCP server's configuration names for one protocol family, on top of the framework's.

#include <cstdint>

#include "extended/config_names.h"

class CDHCPConfigNames : public nbx::CConfigNames {
public:
    // Schema number of a newly created DHCP database.
    static constexpr std::uint32_t kDefaultSchemaVersion = 1;

    // `family` is 4 or 6; another number throws "Cannot create configuration names for protocol
    // family %1." / "Unknown protocol family.". Most names are registered under the family's
    // prefix (nbx::familyKey); a few exist once for the server.
    explicit CDHCPConfigNames(unsigned family);
    ~CDHCPConfigNames() override;

    std::uint32_t dbValueDefaultSchemaVersionNumber() const override;

    unsigned family() const { return m_family; }

private:
    unsigned m_family;
};
