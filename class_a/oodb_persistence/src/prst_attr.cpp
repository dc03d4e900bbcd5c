#include "oodb_persistence/prst_attr.h"

#include <sstream>

#include "standard/throw.h"

void prstThrowReadOnly(const CIPrstAttr& attr) {
    NBX_THROW_STATIC(nbx::CException, NBX_MODULE_TAG, "CPrstAttrDerived::setText",
                     nbx::msg("Cannot set attribute '%1' from text.", attr.name()),
                     nbx::msg("The attribute is read only."));
}

void prstThrowNotStored(const CIPrstAttr& attr) {
    NBX_THROW_STATIC(nbx::CException, NBX_MODULE_TAG, "CIPrstAttr::storedText",
                     nbx::msg("Cannot find converter for attribute '%1'.", attr.name()),
                     nbx::msg("No such attribute."));
}

const CPrstLinkEntry& CPrstLink2ManyAttr::_at(std::size_t index) const {
    if (index >= m_links.size()) {
        NBX_THROW(
            nbx::CException, NBX_MODULE_TAG, "CPrstLink2ManyAttr::operator[]",
            nbx::msg("Cannot access link %1 of '%2'.", static_cast<std::uint32_t>(index), name()),
            nbx::msg("No such link."));
    }
    return m_links[index];
}

const CPrstLinkEntry& CPrstLink2ManyAttr::front() const {
    return _at(0);
}

const CPrstLinkEntry& CPrstLink2ManyAttr::back() const {
    return _at(m_links.empty() ? 0 : m_links.size() - 1);
}

const CPrstLinkEntry& CPrstLink2ManyAttr::operator[](std::size_t index) const {
    return _at(index);
}

void CPrstLink2ManyAttr::pop_front() {
    _at(0);
    m_links.erase(m_links.begin());
    setModified(true);
}

void CPrstLink2ManyAttr::pop_back() {
    _at(0);
    m_links.pop_back();
    setModified(true);
}

void CPrstLink2ManyAttr::registerPeer(std::uint32_t oid, const std::string& nameKey) {
    for (const CPrstLinkEntry& link : m_links) {
        if (link.oid == oid) return;
    }
    std::uint32_t seqNr = m_links.empty() ? 0 : m_links.back().seqNr + 1;
    m_links.push_back({oid, seqNr, nameKey});
    setModified(true);
}

bool CPrstLink2ManyAttr::deRegisterPeer(std::uint32_t oid) {
    for (auto it = m_links.begin(); it != m_links.end(); ++it) {
        if (it->oid == oid) {
            m_links.erase(it);
            setModified(true);
            return true;
        }
    }
    return false;
}

std::string CPrstLink2ManyAttr::text(const CPrstUserBase&) const {
    std::string out;
    for (const CPrstLinkEntry& link : m_links) {
        if (!out.empty()) out += ",";
        out += link.nameKey;
    }
    return out;
}

void CPrstLink2ManyAttr::setText(CPrstUserBase&, const std::string&) {
    NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstLink2ManyAttr::setText",
              nbx::CMessage(m_refusal), nbx::msg("No support for it."));
}

std::string CPrstLink2ManyAttr::storedText() const {
    std::string out;
    for (const CPrstLinkEntry& link : m_links) {
        out +=
            std::to_string(link.seqNr) + " " + std::to_string(link.oid) + " " + link.nameKey + "\n";
    }
    return out;
}

void CPrstLink2ManyAttr::setStoredText(const std::string& text) {
    std::vector<CPrstLinkEntry> links;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        std::istringstream fields(line);
        CPrstLinkEntry link;
        if (!(fields >> link.seqNr >> link.oid)) {
            NBX_THROW(nbx::CException, NBX_MODULE_TAG, "CPrstLink2ManyAttr::setStoredText",
                      nbx::msg("Cannot read link collection '%1'.", name()),
                      nbx::msg("Invalid link '%1'.", line));
        }
        fields.get();  // the blank before the name
        std::getline(fields, link.nameKey);
        links.push_back(link);
    }
    if (links != m_links) {
        m_links = std::move(links);
        setModified(true);
    }
}
