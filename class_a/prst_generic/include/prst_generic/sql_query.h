#pragma once
// A stored SQL query (text class name "sql_query"). It spans three tables: the query itself,
// its arguments ("sql_query_arguments") and its target classes with their where clauses
// ("sql_query_target_classes").
//
// "target_classes" is a comma list of text class names that the registry knows. A target
// class may have a where clause of its own, given by the key "where_template_" followed by the
// class name; a text that carries "target_classes" or any such key replaces the clauses with
// the ones it carries, and a key for a class that the query does not target is refused.

#include <string>

#include "oodb_persistence/persistent_secured_object.h"
#include "prst_generic/domain_memberships.h"

class CPrstSQLQuery : public CPersistentSecuredObject<CPrstSQLQuery> {
public:
    static constexpr const char* kWherePrefix = "where_template_";

    static const CPrstClassDef& classDef();

    const std::string& name() const { return get<std::string>("name"); }
    const std::string& tag() const { return get<std::string>("tag"); }
    const std::string& targetClasses() const { return get<std::string>("target_classes"); }
    const std::string& args() const { return get<std::string>("args"); }
    // Class name -> where clause.
    const nbx::CStringMap& whereTemplates() const { return get<nbx::CStringMap>("where_template"); }

private:
    void _readTargetClasses(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _readWhereTemplates(const nbx::CStringMap& map, const CPrstFieldDef& row);
    void _writeWhereTemplates(nbx::CStringMap& map, const CPrstFieldDef& row) const;
};
