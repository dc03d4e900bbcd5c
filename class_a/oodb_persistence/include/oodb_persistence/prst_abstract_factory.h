#pragma once
// The registry of persistent classes: one factory per class, found by class name
// ("CPrstDomain") or by text class name ("domain"), and the text class names the system knows
// (the initializers' lists, whether or not their classes exist in this build).

#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "oodb_persistence/prst_class_def.h"
#include "oodb_persistence/prst_exception.h"
#include "oodb_persistence/prst_user_base.h"

class CIPrstFactory {
public:
    virtual ~CIPrstFactory() = default;
    virtual const CPrstClassDef& classDef() const = 0;
    // A new, empty instance bound to `context` (_createIf). Throws "Cannot create an instance
    // of persistent class '%1'." / "Persistent object is not default constructible." for a
    // class that cannot be made without arguments.
    virtual CPrstObjectPtr create(const CPrstContextPtr& context) const = 0;

    const std::string& className() const { return classDef().className(); }
    const std::string& textClassName() const { return classDef().textClassName(); }
};

namespace prst {
[[noreturn]] void throwNotConstructible(const std::string& className);
}

template <class T>
class CPrstUserClassFactory : public CIPrstFactory {
public:
    const CPrstClassDef& classDef() const override { return T::classDef(); }
    CPrstObjectPtr create(const CPrstContextPtr& context) const override {
        if constexpr (std::is_default_constructible_v<T> && !std::is_abstract_v<T>) {
            auto object = std::make_unique<T>();
            if (context) object->setContext(context);
            return object;
        } else {
            prst::throwNotConstructible(T::classDef().className());
        }
    }
};

// The object prototypes (class factories) by class name. Owns them.
class CIPrstObjectAbstractFactory {
public:
    // False (and nothing kept) when the class name is taken.
    bool _insert(std::unique_ptr<CIPrstFactory> prototype);
    // "Unable to find prototype for class '%1'." / "No such prototype.".
    const CIPrstFactory& operator[](const std::string& className) const;
    const CIPrstFactory* find(const std::string& className) const;
    // Drops the class's prototype. "Unable to find object prototype for class '%1'." / "No such
    // prototype." when there is none.
    void _remove(const std::string& className);

private:
    std::map<std::string, std::unique_ptr<CIPrstFactory>> m_prototypes;
};

class CIPrstAbstractFactory {
public:
    CIPrstAbstractFactory();
    ~CIPrstAbstractFactory();
    CIPrstAbstractFactory(const CIPrstAbstractFactory&) = delete;
    CIPrstAbstractFactory& operator=(const CIPrstAbstractFactory&) = delete;

    // Registers T under its class name and, when `byTextName`, its text class name (which
    // then becomes a known text class name). A class registered twice throws "Unable to
    // register a factory for class '%1'." / "The factory already exists.".
    template <class T>
    void registerClass(bool byTextName = true) {
        registerFactory(std::make_unique<CPrstUserClassFactory<T>>(), byTextName);
    }
    void registerFactory(std::unique_ptr<CIPrstFactory> factory, bool byTextName = true);

    // Takes the class out of the registry (its text class name stays known); failures of
    // CIPrstObjectAbstractFactory::_remove. Only before the registry is shared.
    void unregisterClass(const std::string& className);

    // Throws CPrstException<14> "Unable to find a factory for class '%1'." / "No such factory.".
    const CIPrstFactory& factory(const std::string& className) const;
    // The object prototypes by class name.
    const CIPrstObjectAbstractFactory& prototypes() const { return m_byClass; }
    // Null when no class is registered under the text class name.
    const CIPrstFactory* findByTextName(const std::string& textClassName) const;
    // Creation by class name (failures of factory()) and by text class name (CPrstException<15>
    // "Cannot find persistent object of type '%1'." / "No such persistent object.").
    CPrstObjectPtr create(const std::string& className, const CPrstContextPtr& context) const;
    CPrstObjectPtr createByTextName(const std::string& textClassName,
                                    const CPrstContextPtr& context) const;
    // Factories in registration order.
    const std::vector<const CIPrstFactory*>& factories() const { return m_order; }

    // Text class names in the order they became known; a name is added once.
    void addKnownTextClassName(const std::string& textClassName);
    bool knowsTextClassName(const std::string& textClassName) const;
    const std::vector<std::string>& knownTextClassNames() const { return m_known; }

private:
    CIPrstObjectAbstractFactory m_byClass;
    std::map<std::string, const CIPrstFactory*> m_byText;
    std::vector<const CIPrstFactory*> m_order;
    std::vector<std::string> m_known;
};
