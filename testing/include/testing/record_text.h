#pragma once
// Helpers of the record tests: a record text edited from a base text, and what a call threw as
// one comparable text with its site.

#include <algorithm>
#include <string>
#include <utility>

#include "standard/string_map.h"
#include "testing/failure.h"

namespace nbx::testing {

// `base` with `changes` applied, written in key order: entries separated by ';', "key=value"
// sets a key, "-key" removes one.
inline std::string edited(const std::string& base, const std::string& changes) {
    nbx::CStringMap map(base, "\n", 0, false);
    for (std::size_t at = 0, end = 0; at < changes.size(); at = end + 1) {
        end = std::min(changes.find(';', at), changes.size());
        const std::string entry = changes.substr(at, end - at);
        const std::size_t equals = entry.find('=');
        if (equals == std::string::npos) {
            map.erase(entry.substr(1));
        } else {
            map.set(entry.substr(0, equals), entry.substr(equals + 1));
        }
    }
    return map.string();
}

// "message | reason @ module function" of what `call` threw ("message | reason" without
// `site`), or "<no exception>".
template <class F>
std::string thrown(F&& call, bool site = true) {
    Failure f = failure(std::forward<F>(call));
    if (!f.thrown) return "<no exception>";
    return site ? f.text() + " @ " + f.module + " " + f.function : f.text();
}

}  // namespace nbx::testing
