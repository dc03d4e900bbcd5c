#include "oodb_persistence/oid_translator.h"

#include "oodb_persistence/prst_abstract_factory.h"
#include "oodb_persistence/prst_db_session.h"

namespace {

// A plain non-negative decimal within 32 bits.
bool plainNumber(const std::string& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (number > UINT32_MAX) return false;
    value = static_cast<std::uint32_t>(number);
    return true;
}

// "-" followed by a plain number within the signed 32-bit range, as the unsigned value.
bool negativeNumber(const std::string& text, std::uint32_t& value) {
    std::uint32_t magnitude = 0;
    if (text.size() < 2 || text[0] != '-' || !plainNumber(text.substr(1), magnitude)) return false;
    if (magnitude == 0 || magnitude > 2147483648u) return false;
    value = static_cast<std::uint32_t>(0u - magnitude);
    return true;
}

}  // namespace

CPrstOIDTranslatorBase::CPrstOIDTranslatorBase(CPrstContextPtr context, const CPrstClassDef& dest,
                                               std::string nameAttr)
    : m_context(context ? std::move(context) : std::make_shared<CPrstContext>()),
      m_dest(&dest),
      m_destTextClassName(dest.textClassName()),
      m_nameAttr(std::move(nameAttr)) {}

CPrstOIDTranslatorBase::CPrstOIDTranslatorBase(CPrstContextPtr context,
                                               std::string destTextClassName, std::string nameAttr)
    : m_context(context ? std::move(context) : std::make_shared<CPrstContext>()),
      m_dest(nullptr),
      m_destTextClassName(std::move(destTextClassName)),
      m_nameAttr(std::move(nameAttr)) {}

const CPrstClassDef* CPrstOIDTranslatorBase::_dest() const {
    if (m_dest) return m_dest;
    const CIPrstAbstractFactory* registry = m_context->registry();
    const CIPrstFactory* factory =
        registry ? registry->findByTextName(m_destTextClassName) : nullptr;
    return factory ? &factory->classDef() : nullptr;
}

const std::string& CPrstOIDTranslatorBase::_destName() const {
    const CPrstClassDef* dest = _dest();
    return dest ? dest->className() : m_destTextClassName;
}

std::string CPrstOIDTranslatorBase::_toName(std::uint32_t oid, bool strict) const {
    if (m_context->rawIds()) return prst::signed32(oid);
    CPrstDBSession* session = m_context->session();
    if (session && session->isOpen() && _dest()) {
        CPrstObjectPtr found =
            (*session)[m_destTextClassName].findByOID(m_context->transaction(), oid);
        if (found) return found->get<std::string>(m_nameAttr);
    }
    if (strict) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "COIDTranslator<SRC,DEST>::_toName",
                  nbx::msg("Cannot find name of record with OID=%1.of type %2", oid, _destName()),
                  nbx::msg("No such record."));
    }
    if (static_cast<std::int32_t>(oid) < 0) return std::string();
    return std::to_string(oid);
}

std::uint32_t CPrstOIDTranslatorBase::toOID(const std::string& name, bool strict) const {
    std::uint32_t value = 0;
    if (m_context->rawIds()) {
        if (!strict && name.empty()) return kNoKey;
        if (plainNumber(name, value) || negativeNumber(name, value)) return value;
    } else {
        CPrstDBSession* session = m_context->session();
        const CPrstClassDef* dest = _dest();
        const CPrstFieldDef* nameRow = dest ? dest->byName(m_nameAttr) : nullptr;
        if (session && session->isOpen() && nameRow && !nameRow->column.empty()) {
            CPrstObjectList found = (*session)[m_destTextClassName].select(
                m_context->transaction(), CPrstDBProxy::equals(nameRow->column, name));
            if (!found.empty()) return found.front()->oid();
        }
        if (plainNumber(name, value)) return value;
        if (!strict) {
            if (name.empty()) return kNoKey;
            if (negativeNumber(name, value)) return value;
        }
    }
    NBX_THROW(nbx::CException, NBX_MODULE_TAG, "COIDTranslator<SRC,DEST>::toOID",
              nbx::msg("Cannot find OID of record %1 of type %2.", name, _destName()),
              nbx::msg("No such record."));
}
