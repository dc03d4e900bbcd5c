#pragma once
// Persistent attributes: the named values of a persistent object. Each knows its text form (the
// record text) and, when it is stored, its stored form (a column's text); each tracks whether
// it was changed since it was last loaded or committed.
//
// Families:
//   CPrstAttr<T>            one value, by CPrstValueTraits<T>
//   CPrstBinaryAttr<T>      a value kept as a large object (hexadecimal text)
//   CPrstAttrDerived<T>     a value computed from the others: written, never read or stored
//   CPrstLink2ManyAttr      an ordered one-to-many link; refuses to be set from text
//   CPrstLinkByNameAttr     links resolved by name; refuses to be set from text
// References by name to another first-class object are CPrstRefAttr (prst_ref_attr.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "oodb_persistence/prst_value_traits.h"

class CPrstUserBase;

class CIPrstAttr {
public:
    explicit CIPrstAttr(std::string name) : m_name(std::move(name)) {}
    virtual ~CIPrstAttr() = default;
    virtual std::unique_ptr<CIPrstAttr> clone() const = 0;

    const std::string& name() const { return m_name; }
    bool modified() const { return m_modified; }
    void setModified(bool modified) { m_modified = modified; }

    // The text form. The owner supplies what a conversion needs besides the value (its context
    // for references by name).
    virtual std::string text(const CPrstUserBase& owner) const = 0;
    virtual void setText(CPrstUserBase& owner, const std::string& text) = 0;
    // False for attributes that the text reader must skip (derived values).
    virtual bool readable() const { return true; }
    // True where a failure of setText already names what went wrong (lookups by name, domain
    // memberships): the reader keeps its text and reason under the record's module and site.
    // Plain value conversions are reported under the record's own failure text.
    virtual bool explainsFailures() const { return false; }

    // The stored form; attributes that are not stored throw from both.
    virtual bool stored() const { return true; }
    virtual std::string storedText() const = 0;
    virtual void setStoredText(const std::string& text) = 0;

private:
    std::string m_name;
    bool m_modified = false;
};

namespace prst {
template <class T, class = void>
struct HasEquality : std::false_type {};
template <class T>
struct HasEquality<T, std::void_t<decltype(std::declval<const T&>() == std::declval<const T&>())>>
    : std::true_type {};

template <class T>
bool sameValue(const T& a, const T& b) {
    if constexpr (HasEquality<T>::value) {
        return a == b;
    } else {
        return CPrstValueTraits<T>::text(a) == CPrstValueTraits<T>::text(b);
    }
}
}  // namespace prst

template <class T>
class CPrstAttr : public CIPrstAttr {
public:
    using value_type = T;
    explicit CPrstAttr(std::string name, T value = T())
        : CIPrstAttr(std::move(name)), m_value(std::move(value)) {}
    std::unique_ptr<CIPrstAttr> clone() const override {
        return std::make_unique<CPrstAttr>(*this);
    }

    const T& value() const { return m_value; }
    // Marks the attribute modified when the value changes.
    void set(const T& value) {
        if (prst::sameValue(value, m_value)) return;
        m_value = value;
        setModified(true);
    }

    std::string text(const CPrstUserBase&) const override {
        return CPrstValueTraits<T>::text(m_value);
    }
    void setText(CPrstUserBase&, const std::string& text) override {
        T value = m_value;
        CPrstValueTraits<T>::fromText(text, value);
        set(value);
    }
    bool explainsFailures() const override { return CPrstValueTraits<T>::kExplains; }
    std::string storedText() const override { return CPrstValueTraits<T>::stored(m_value); }
    void setStoredText(const std::string& text) override {
        T value = m_value;
        CPrstValueTraits<T>::fromStored(text, value);
        set(value);
    }

private:
    T m_value;
};

// Binary data kept as a large object; its text is hexadecimal.
template <class T = nbx::CHexStore>
class CPrstBinaryAttr : public CPrstAttr<T> {
public:
    using CPrstAttr<T>::CPrstAttr;
    std::unique_ptr<CIPrstAttr> clone() const override {
        return std::make_unique<CPrstBinaryAttr>(*this);
    }
};

// Throws "Cannot set attribute '%1' from text." / "The attribute is read only." (derived) and the
// failures of the attributes that are not stored.
[[noreturn]] void prstThrowReadOnly(const CIPrstAttr& attr);
[[noreturn]] void prstThrowNotStored(const CIPrstAttr& attr);

template <class T>
class CPrstAttrDerived : public CIPrstAttr {
public:
    using Compute = std::function<T(const CPrstUserBase&)>;
    CPrstAttrDerived(std::string name, Compute compute)
        : CIPrstAttr(std::move(name)), m_compute(std::move(compute)) {}
    std::unique_ptr<CIPrstAttr> clone() const override {
        return std::make_unique<CPrstAttrDerived>(*this);
    }

    T value(const CPrstUserBase& owner) const { return m_compute(owner); }

    std::string text(const CPrstUserBase& owner) const override {
        return CPrstValueTraits<T>::text(value(owner));
    }
    void setText(CPrstUserBase&, const std::string&) override { prstThrowReadOnly(*this); }
    bool readable() const override { return false; }
    bool stored() const override { return false; }
    std::string storedText() const override { prstThrowNotStored(*this); }
    void setStoredText(const std::string&) override { prstThrowNotStored(*this); }

private:
    Compute m_compute;
};

// One linked object: its OID, its place in the sequence and the name it is known by.
struct CPrstLinkEntry {
    std::uint32_t oid = 0xFFFFFFFFu;
    std::uint32_t seqNr = 0;
    std::string nameKey;

    bool operator==(const CPrstLinkEntry& other) const {
        return oid == other.oid && seqNr == other.seqNr && nameKey == other.nameKey;
    }
};

// An ordered collection of links. It is written as the names of its members joined by ","; a
// record class that takes such a list from text reads it itself, because the collection refuses
// ("Cannot deserialize persistent collections." / "No support for it."). Its stored form is one
// line "seqNr oid nameKey" per member.
class CPrstLink2ManyAttr : public CIPrstAttr {
public:
    explicit CPrstLink2ManyAttr(std::string name,
                                std::string refusal = "Cannot deserialize persistent collections.")
        : CIPrstAttr(std::move(name)), m_refusal(std::move(refusal)) {}
    std::unique_ptr<CIPrstAttr> clone() const override {
        return std::make_unique<CPrstLink2ManyAttr>(*this);
    }

    std::size_t size() const { return m_links.size(); }
    bool empty() const { return m_links.empty(); }
    // The members in sequence order. front, back and operator[] need a member to be there:
    // they throw "Cannot access link %1 of '%2'." / "No such link." otherwise.
    const CPrstLinkEntry& front() const;
    const CPrstLinkEntry& back() const;
    const CPrstLinkEntry& operator[](std::size_t index) const;
    void pop_front();
    void pop_back();
    // Appends a member with the next sequence number; a member with the OID is not added twice.
    void registerPeer(std::uint32_t oid, const std::string& nameKey);
    // Removes the member with the OID; false when there is none.
    bool deRegisterPeer(std::uint32_t oid);
    const std::vector<CPrstLinkEntry>& links() const { return m_links; }

    std::string text(const CPrstUserBase& owner) const override;
    void setText(CPrstUserBase& owner, const std::string& text) override;
    std::string storedText() const override;
    void setStoredText(const std::string& text) override;

private:
    const CPrstLinkEntry& _at(std::size_t index) const;

    std::vector<CPrstLinkEntry> m_links;
    std::string m_refusal;
};

// Links resolved by the referenced object's name: a link collection under its own refusal text.
class CPrstLinkByNameAttr : public CPrstLink2ManyAttr {
public:
    explicit CPrstLinkByNameAttr(std::string name)
        : CPrstLink2ManyAttr(std::move(name), "Cannot deserialize persistent link objects.") {}
    std::unique_ptr<CIPrstAttr> clone() const override {
        return std::make_unique<CPrstLinkByNameAttr>(*this);
    }
};
