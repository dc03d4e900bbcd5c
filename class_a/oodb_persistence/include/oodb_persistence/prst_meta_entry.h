#pragma once
// The meta-class entry that every top-level record carries: the class name and its kind,
// written "%s[%s]" ("CPrstDomain[simple]"). The entry is what lets a proxy build the right class
// from a table that several classes share.

#include <string>

struct CPrstMetaEntry {
    std::string className;
    bool complex = false;

    std::string string() const;
    // Splits at the first "[" and the following "]"; the kind is complex exactly when the text
    // between them is "complex". Without "[" the whole text is the class name; without the
    // closing "]" the kind runs to the end. Never fails.
    static CPrstMetaEntry parse(const std::string& text);
};
