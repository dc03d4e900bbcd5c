#pragma once
// The id of a persistent object: the simple id of its top-level record (prototype name and key)
// and the simple ids of its rows in every further prototype of a complex class.

#include <cstdint>
#include <map>
#include <string>

#include "oodb/db_engine.h"

struct CPrstSimpleID {
    std::string prototype;
    std::uint32_t id = kNoKey;

    bool operator==(const CPrstSimpleID& other) const {
        return prototype == other.prototype && id == other.id;
    }
};

class CPrstID {
public:
    CPrstID() = default;
    explicit CPrstID(CPrstSimpleID top) : m_top(std::move(top)) {}

    const CPrstSimpleID& top() const { return m_top; }
    CPrstSimpleID& top() { return m_top; }
    void setTop(const CPrstSimpleID& id) { m_top = id; }
    // Adds or replaces the id in a further prototype.
    void set(const CPrstSimpleID& id) { m_others[id.prototype] = id; }

    // The simple id within `prototype` (the top-level one included); throws "Cannot find simple
    // id for prototype '%1'." / "No such id." for a prototype the object has no row in.
    const CPrstSimpleID& operator[](const std::string& prototype) const;

    const std::map<std::string, CPrstSimpleID>& others() const { return m_others; }

private:
    CPrstSimpleID m_top;
    std::map<std::string, CPrstSimpleID> m_others;
};
