#pragma once
// Comma lists inside record texts ("acl", "capabilities", "target_classes" ...).

#include <string>
#include <vector>

#include "oodb_persistence/prst_context.h"

namespace prst {

// `text` without the blanks and tabs around it.
std::string trim(const std::string& text);

// The items of a comma list, blanks and tabs around each removed. The empty text has no item;
// empty items are kept unless `skipEmpty`, so that a checker can refuse "a,,b".
std::vector<std::string> splitList(const std::string& text, bool skipEmpty = false);
std::string joinList(const std::vector<std::string>& items);

// The text class names that the registry of `context` knows, in registration order; none
// without a registry.
std::vector<std::string> knownClassNames(const CPrstContext& context);
bool isKnownClassName(const CPrstContext& context, const std::string& name);

}  // namespace prst
