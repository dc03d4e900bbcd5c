#include "prst_generic/sql_query.h"

#include <algorithm>

#include "oodb_persistence/prst_exception.h"
#include "prst_generic/text_list.h"

namespace {

constexpr const char* kArguments = "sql_query_arguments";
constexpr const char* kTargets = "sql_query_target_classes";

}  // namespace

const CPrstClassDef& CPrstSQLQuery::classDef() {
    // The where clauses are one row under the key "where_template"; its reader and writer
    // spread it over the "where_template_<class>" keys.
    static const CPrstClassDef def =
        CPrstClassDef("CPrstSQLQuery", "sql_query", "sql_query")
            .module(NBX_MODULE_TAG)
            .site("CPrstSQLQuery::_set")
            .failure("Failed to set a query record from text.")
            .prototype(kArguments)
            .prototype(kTargets)
            .field(prst::modTime())
            .field(prst::value<std::string>("name", "NAME").require())
            .field(prst::value<std::string>("description", "DESCRIPTION"))
            .field(prst::value<std::string>("tag", "TAG").require())
            .field(prst::value<std::string>("target_classes", "TARGET_CLASSES")
                       .in(kTargets)
                       .read(&CPrstSQLQuery::_readTargetClasses))
            .field(prst::value<nbx::CStringMap>("where_template", "WHERE_TEMPLATES")
                       .as(CPrstFieldType::kTextBlob)
                       .in(kTargets)
                       .read(&CPrstSQLQuery::_readWhereTemplates)
                       .write(&CPrstSQLQuery::_writeWhereTemplates))
            .field(prst::value<std::string>("groups", "GROUPS"))
            .field(prst::value<std::string>("args", "ARGS")
                       .as(CPrstFieldType::kTextBlob)
                       .in(kArguments))
            .field(prst::domainMemberships());
    return def;
}

void CPrstSQLQuery::_readTargetClasses(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    std::string value;
    if (!map.get(row.key, value)) return;
    for (const std::string& item : prst::splitList(value)) {
        if (!prst::isKnownClassName(context(), item)) {
            _fail<CPrstUnknownClassException>(nbx::msg(
                "Illegal target class name '%1', should be a comma-delimited list of '%2' class "
                "names.",
                item, prst::joinList(prst::knownClassNames(context()))));
        }
    }
    put<std::string>(row.name, value);
}

void CPrstSQLQuery::_readWhereTemplates(const nbx::CStringMap& map, const CPrstFieldDef& row) {
    const std::vector<std::string> targets = prst::splitList(targetClasses(), true);
    const std::string prefix = kWherePrefix;
    bool given = map.has("target_classes");
    nbx::CStringMap templates;
    // Every key that begins like an override is one; a misspelt one is refused, not ignored.
    for (const auto& entry : map) {
        if (entry.first.compare(0, row.key.size(), row.key) != 0) continue;
        given = true;
        std::string target;
        if (entry.first.size() > prefix.size() &&
            entry.first.compare(0, prefix.size(), prefix) == 0)
            target = entry.first.substr(prefix.size());
        if (target.empty() || std::find(targets.begin(), targets.end(), target) == targets.end()) {
            _fail(
                nbx::msg("Illegal override '%1', should be where_template_<class_name>, "
                         "available class_names = %2.",
                         entry.first, prst::joinList(targets)));
        }
        if (!templates.has(target)) templates.set(target, entry.second);
    }
    if (given) put<nbx::CStringMap>(row.name, templates);
}

void CPrstSQLQuery::_writeWhereTemplates(nbx::CStringMap& map, const CPrstFieldDef&) const {
    for (const auto& entry : whereTemplates()) map.set(kWherePrefix + entry.first, entry.second);
}
