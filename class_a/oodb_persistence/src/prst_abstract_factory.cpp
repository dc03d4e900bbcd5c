#include "oodb_persistence/prst_abstract_factory.h"

#include <algorithm>

namespace prst {
void throwNotConstructible(const std::string& className) {
    NBX_THROW_STATIC(nbx::CException, NBX_MODULE_TAG,
                     "CPrstUserClassPrototype<USER_CLASS,USER_DERIVED>::_createIf",
                     nbx::msg("Cannot create an instance of persistent class '%1'.", className),
                     nbx::msg("Persistent object is not default constructible."));
}
}  // namespace prst

bool CIPrstObjectAbstractFactory::_insert(std::unique_ptr<CIPrstFactory> prototype) {
    const std::string className = prototype->className();
    return m_prototypes.emplace(className, std::move(prototype)).second;
}

const CIPrstFactory* CIPrstObjectAbstractFactory::find(const std::string& className) const {
    auto found = m_prototypes.find(className);
    return found == m_prototypes.end() ? nullptr : found->second.get();
}

const CIPrstFactory& CIPrstObjectAbstractFactory::operator[](const std::string& className) const {
    const CIPrstFactory* found = find(className);
    if (!found) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CIPrstObjectAbstractFactory::operator[]",
                  nbx::msg("Unable to find prototype for class '%1'.", className),
                  nbx::msg("No such prototype."));
    }
    return *found;
}

void CIPrstObjectAbstractFactory::_remove(const std::string& className) {
    if (m_prototypes.erase(className) == 0) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CIPrstObjectAbstractFactory::_remove",
                  nbx::msg("Unable to find object prototype for class '%1'.", className),
                  nbx::msg("No such prototype."));
    }
}

CIPrstAbstractFactory::CIPrstAbstractFactory() {}

CIPrstAbstractFactory::~CIPrstAbstractFactory() {}

void CIPrstAbstractFactory::registerFactory(std::unique_ptr<CIPrstFactory> factory,
                                            bool byTextName) {
    if (!factory) return;
    const std::string className = factory->className();
    const CIPrstFactory* registered = factory.get();
    if (!m_byClass._insert(std::move(factory))) {
        NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CIPrstAbstractFactory::registerFactory",
                  nbx::msg("Unable to register a factory for class '%1'.", className),
                  nbx::msg("The factory already exists."));
    }
    m_order.push_back(registered);
    if (byTextName && !registered->textClassName().empty()) {
        m_byText.emplace(registered->textClassName(), registered);
        addKnownTextClassName(registered->textClassName());
    }
}

void CIPrstAbstractFactory::unregisterClass(const std::string& className) {
    const CIPrstFactory* leaving = m_byClass.find(className);
    if (leaving) {
        m_order.erase(std::remove(m_order.begin(), m_order.end(), leaving), m_order.end());
        for (auto entry = m_byText.begin(); entry != m_byText.end();) {
            entry = entry->second == leaving ? m_byText.erase(entry) : std::next(entry);
        }
    }
    m_byClass._remove(className);
}

const CIPrstFactory& CIPrstAbstractFactory::factory(const std::string& className) const {
    const CIPrstFactory* found = m_byClass.find(className);
    if (!found) {
        NBX_THROW(CPrstNoFactoryException, NBX_MODULE_TAG,
                  "CPrstUserClassFactory<USER_CLASS>::_prototype",
                  nbx::msg("Unable to find a factory for class '%1'.", className),
                  nbx::msg("No such factory."));
    }
    return *found;
}

const CIPrstFactory* CIPrstAbstractFactory::findByTextName(const std::string& textClassName) const {
    auto found = m_byText.find(textClassName);
    return found == m_byText.end() ? nullptr : found->second;
}

CPrstObjectPtr CIPrstAbstractFactory::create(const std::string& className,
                                             const CPrstContextPtr& context) const {
    return factory(className).create(context);
}

CPrstObjectPtr CIPrstAbstractFactory::createByTextName(const std::string& textClassName,
                                                       const CPrstContextPtr& context) const {
    const CIPrstFactory* found = findByTextName(textClassName);
    if (!found) {
        NBX_THROW(CPrstUnknownClassException, NBX_MODULE_TAG,
                  "CPrstGenericObjectAbstractFactoryBase::_callFunc",
                  nbx::msg("Cannot find persistent object of type '%1'.", textClassName),
                  nbx::msg("No such persistent object."));
    }
    return found->create(context);
}

void CIPrstAbstractFactory::addKnownTextClassName(const std::string& textClassName) {
    if (textClassName.empty() || knowsTextClassName(textClassName)) return;
    m_known.push_back(textClassName);
}

bool CIPrstAbstractFactory::knowsTextClassName(const std::string& textClassName) const {
    return std::find(m_known.begin(), m_known.end(), textClassName) != m_known.end();
}
