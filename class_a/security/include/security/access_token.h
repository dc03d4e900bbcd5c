#pragma once
// Access tokens: who is asking, reduced to the one question the object store needs answered,
// "which rights does this token hold on that object?". Rights are a bit set.

#include <cstdint>
#include <string>

#include "standard/object.h"

class CAccessToken;

// An object that carries access control. The store's secured objects implement it; a token
// decides on the object's class, id and domain memberships.
class CISecuredObject : public nbx::CObject {
public:
    // The rights that `token` holds on this object.
    virtual std::uint32_t accessRights(const CAccessToken& token) const;
    // The id the checks and their messages name (0xFFFFFFFF: none yet).
    virtual std::uint32_t securedId() const = 0;
    // The name of the object's class as the access rules name it ("replicate_peer").
    virtual std::string securedClassName() const = 0;
};

class CAccessToken {
public:
    enum Rights : std::uint32_t {
        RIGHT_NONE = 0,
        RIGHT_READ = 1,
        RIGHT_WRITE = 2,
        RIGHT_ALL = RIGHT_READ | RIGHT_WRITE,
    };

    virtual ~CAccessToken() = default;
    virtual std::uint32_t rights(const CISecuredObject& object) const = 0;
};

// A token that holds the same rights on every object.
class CFixedRightsToken : public CAccessToken {
public:
    explicit CFixedRightsToken(std::uint32_t rights) : m_rights(rights) {}
    std::uint32_t rights(const CISecuredObject&) const override { return m_rights; }

private:
    std::uint32_t m_rights;
};

// Read and write on everything: the token of the plug-in's own sessions, which replicate
// whatever the administrators of either server were allowed to change.
class CFullAccessToken : public CFixedRightsToken {
public:
    CFullAccessToken() : CFixedRightsToken(RIGHT_ALL) {}
    static const CFullAccessToken& instance();
};
