#pragma once
// Where the daemon finds its plug-ins and its statement files when the configuration does not
// say: beside the installed program (<prefix>/bin/nbxd finds <prefix>/lib/nbx/plugins and
// <prefix>/share/nbx/db), else in the build tree it was built in, so that a program run from
// the build folder works without installing.

#include <string>

namespace host {

class CHostLayout {
public:
    // The layout around the running program (/proc/self/exe).
    CHostLayout();
    // The layout around the program at `executable`.
    explicit CHostLayout(const std::string& executable);

    std::string pluginDirectory() const;
    std::string statementDirectory() const;

private:
    // <prefix>/<installed> when that folder exists, else `built` when that one exists, else the
    // installed one (so that an error names where the file was looked for first).
    std::string _choose(const char* installed, const char* built) const;

    std::string m_prefix;  // the folder above the program's folder
};

}  // namespace host
