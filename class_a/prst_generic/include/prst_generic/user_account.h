#pragma once
// A user account (text class name "user_account"): its access list names roles.
//
// Its password never leaves it in text: "pass" is always written as "**********", and the
// mask on input keeps the stored password. "min_create_rights" (entries "domain" or
// "domain:right") may name only domains that the capabilities of the user's roles name; the
// roles are read through the context's session.

#include <string>
#include <vector>

#include "prst_generic/account.h"

class CPrstUserAccount : public CPrstAccount<CPrstUserAccount> {
public:
    static constexpr const char* kPasswordMask = "**********";

    static const CPrstClassDef& classDef();

    // The stored password (never written in the text form).
    const std::string& password() const { return get<std::string>("pass"); }
    void setPassword(const std::string& password) { put<std::string>("pass", password); }
    const std::string& minCreateRights() const { return get<std::string>("min_create_rights"); }

private:
    void _readPassword(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _writePassword(nbx::CStringMap& map, const CPrstFieldDef& row) const;
    void _readMinCreateRights(const nbx::CStringMap& map, const CPrstFieldDef& row);
};
