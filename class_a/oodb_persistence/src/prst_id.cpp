#include "oodb_persistence/prst_id.h"

#include "standard/throw.h"

const CPrstSimpleID& CPrstID::operator[](const std::string& prototype) const {
    if (prototype == m_top.prototype) return m_top;
    auto found = m_others.find(prototype);
    if (found != m_others.end()) return found->second;
    NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstID::operator[]",
              nbx::msg("Cannot find simple id for prototype '%1'.", prototype),
              nbx::msg("No such id."));
}
