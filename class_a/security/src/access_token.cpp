#include "security/access_token.h"

std::uint32_t CISecuredObject::accessRights(const CAccessToken& token) const {
    return token.rights(*this);
}

const CFullAccessToken& CFullAccessToken::instance() {
    static const CFullAccessToken token;
    return token;
}
