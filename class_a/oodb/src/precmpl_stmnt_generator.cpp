#include "oodb/precmpl_stmnt_generator.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "db_list.h"
#include "standard/throw.h"

namespace {

const char* const kModule = "oodb";

std::string placeholderOf(const std::string& name) {
    return "<<" + name + ">>";
}

// Names of the placeholders of a template, in text order; an unterminated "<<" ends the scan.
std::vector<std::string> placeholders(const std::string& sql) {
    std::vector<std::string> names;
    std::size_t at = 0;
    for (;;) {
        const std::size_t open = sql.find("<<", at);
        if (open == std::string::npos) break;
        const std::size_t close = sql.find(">>", open + 2);
        if (close == std::string::npos) break;
        names.push_back(sql.substr(open + 2, close - open - 2));
        at = close + 2;
    }
    return names;
}

// The next parameter name of an argument: NAME, then NAME_1, NAME_2 ...
std::string parameterName(const std::string& name, std::map<std::string, std::size_t>& used) {
    const std::size_t n = used[name]++;
    return n == 0 ? name : name + "_" + std::to_string(n);
}

}  // namespace

CPrecmplStmntGenerator::CPrecmplStmntGenerator(const std::string& columnNames,
                                               const std::string& typeList,
                                               const std::string& genericArgs)
    : m_columnNames(columnNames),
      m_typeList(typeList),
      m_names(dbSplitList(columnNames, true)),
      m_types(dbSplitList(typeList, true)),
      m_generic(dbSplitList(genericArgs)) {}

std::string CPrecmplStmntGenerator::expansion(std::size_t count, bool list) {
    if (!list) return " ?";
    std::string text = " IN (";
    for (std::size_t i = 0; i < count; ++i) text += i == 0 ? "?" : ",?";
    return text + " )";
}

bool CPrecmplStmntGenerator::_isGeneric(const std::string& name) const {
    return std::find(m_generic.begin(), m_generic.end(), name) != m_generic.end();
}

bool CPrecmplStmntGenerator::_isDeclared(const std::string& name) const {
    return !name.empty() && std::find(m_names.begin(), m_names.end(), name) != m_names.end();
}

CPrecmplStmntGenerator::Argument CPrecmplStmntGenerator::_argument(const std::string& name) const {
    const auto found = std::find(m_names.begin(), m_names.end(), name);
    if (name.empty() || found == m_names.end()) {
        NBX_THROW(nbx::CException, kModule, "CPrecmplStmntGenerator::generate",
                  nbx::msg("Unable to find template '<<%1>>' in column name list '%2'.", name,
                           m_columnNames),
                  nbx::msg("No template for requested name."));
    }
    const std::size_t index = static_cast<std::size_t>(found - m_names.begin());
    std::string type = index < m_types.size() ? m_types[index] : std::string();
    bool list = false;
    if (type.compare(0, 5, "list ") == 0 || type.compare(0, 5, "list\t") == 0) {
        list = true;
        type = dbSplitList(type.substr(5)).empty() ? std::string() : dbSplitList(type.substr(5))[0];
    }
    if (type.empty()) {
        NBX_THROW(nbx::CException, kModule, "CPrecmplStmntGenerator::generate",
                  nbx::msg("Unable to find '<<%1>>' template in type list '%2'.", name, m_typeList),
                  nbx::msg("No template for requested type."));
    }
    return Argument{name, CDBFieldType::parse(type), list, _isGeneric(name)};
}

CPrecmplStmntGenerator::Statement CPrecmplStmntGenerator::generate(
    const std::string& sqlTemplate, const nbx::CStringMap& arguments) const {
    // The given arguments with their values, in key order.
    std::vector<std::pair<Argument, std::vector<std::string>>> given;
    for (const auto& entry : arguments) {
        if (given.empty() || given.back().first.name != entry.first) {
            given.emplace_back(_argument(entry.first), std::vector<std::string>());
        }
        given.back().second.push_back(entry.second);
    }
    for (const auto& argument : given) {
        const Argument& declared = argument.first;
        const std::string placed =
            declared.generic ? placeholderOf(kGenericArgs) : placeholderOf(declared.name);
        if (sqlTemplate.find(placed) == std::string::npos) {
            NBX_THROW(
                nbx::CException, kModule, "CPrecmplStmntGenerator::generate",
                nbx::msg("Unable to find placeholder '<<%1>>' in sql statement template '%2'.",
                         declared.name, sqlTemplate),
                nbx::msg("Placeholder/SQL statement mismatch."));
        }
        if (!declared.list && argument.second.size() > 1) {
            NBX_THROW(nbx::CException, kModule, "CPrecmplStmntGenerator::generate",
                      nbx::msg("Too many values for argument '<<%1>>' of sql statement template "
                               "'%2'.",
                               declared.name, sqlTemplate),
                      nbx::msg("The argument takes one value."));
        }
    }
    auto valuesOf =
        [&](const std::string& name) -> const std::pair<Argument, std::vector<std::string>>* {
        for (const auto& argument : given) {
            if (argument.first.name == name) return &argument;
        }
        return nullptr;
    };

    Statement out;
    std::map<std::string, std::size_t> used;
    auto place = [&](const Argument& argument, const std::vector<std::string>& values) {
        const std::size_t marks = argument.list ? values.size() : 1;
        for (std::size_t i = 0; i < marks; ++i) {
            out.parameters.push_back(
                {parameterName(argument.name, used), values[i], argument.type});
        }
        return expansion(marks, argument.list);
    };

    std::size_t at = 0;
    for (;;) {
        const std::size_t open = sqlTemplate.find("<<", at);
        const std::size_t close =
            open == std::string::npos ? open : sqlTemplate.find(">>", open + 2);
        if (close == std::string::npos) break;
        out.sql += sqlTemplate.substr(at, open - at);
        const std::string name = sqlTemplate.substr(open + 2, close - open - 2);
        at = close + 2;
        if (name == kGenericArgs) {
            std::string conditions;
            for (const auto& argument : given) {
                if (!argument.first.generic) continue;
                if (!conditions.empty()) conditions += " AND ";
                conditions += "T." + argument.first.name;
                if (!argument.first.list) conditions += " =";
                conditions += place(argument.first, argument.second);
            }
            out.sql += conditions.empty() ? "T.PK >= 0" : conditions;
            continue;
        }
        if (!_isDeclared(name) || _isGeneric(name)) {
            out.sql += placeholderOf(name);  // <<TABLE>> and the like are the engine's
            continue;
        }
        const auto* argument = valuesOf(name);
        if (!argument) {
            NBX_THROW(nbx::CException, kModule, "CPrecmplStmntGenerator::generate",
                      nbx::msg("Missing value for argument '<<%1>>' of sql statement template "
                               "'%2'.",
                               name, sqlTemplate),
                      nbx::msg("Missing argument."));
        }
        out.sql += place(argument->first, argument->second);
    }
    out.sql += sqlTemplate.substr(at);
    return out;
}

void CPrecmplStmntGenerator::check(const std::string& sqlTemplate) const {
    auto mismatch = [&](nbx::CMessage message) {
        NBX_THROW(nbx::CException, kModule, "CPrecmplStmntGenerator::check", std::move(message),
                  nbx::msg("Placeholder/SQL statement mismatch."));
    };
    if (m_types.size() != m_names.size()) {
        mismatch(
            nbx::msg("Argument lists '%1' and '%2' differ in length.", m_columnNames, m_typeList));
    }
    std::set<std::string> names;
    for (const std::string& name : m_names) {
        _argument(name);
        if (!names.insert(name).second) {
            mismatch(nbx::msg("Argument '<<%1>>' is declared twice in column name list '%2'.", name,
                              m_columnNames));
        }
    }
    for (const std::string& name : m_generic) _argument(name);

    const std::vector<std::string> placed = placeholders(sqlTemplate);
    auto isPlaced = [&](const std::string& name) {
        return std::find(placed.begin(), placed.end(), name) != placed.end();
    };
    for (const std::string& name : placed) {
        const bool known = name == kTable || (name == kGenericArgs && !m_generic.empty()) ||
                           (_isDeclared(name) && !_isGeneric(name));
        if (!known) {
            mismatch(nbx::msg("Unknown placeholder '<<%1>>' in sql statement template '%2'.", name,
                              sqlTemplate));
        }
    }
    for (const std::string& name : m_names) {
        const bool found = _isGeneric(name) ? isPlaced(kGenericArgs) : isPlaced(name);
        if (!found) {
            mismatch(nbx::msg("Unable to find placeholder '<<%1>>' in sql statement template '%2'.",
                              name, sqlTemplate));
        }
    }
}
