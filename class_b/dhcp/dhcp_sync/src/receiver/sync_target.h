#pragma once
// One replication peer as the receiver sees it: where its changes are spooled, how its publisher
// logs in, and which object classes it wants.

#include <cstdint>
#include <set>
#include <string>

#include "standard/string_map.h"

struct CSyncTarget {
    CSyncTarget() = default;
    // From the text form of a replicate_peer record. "logdir" defaults to the target, "enabled"
    // to true, "oid" to -1. "classes" is split at commas, each piece trimmed of blanks and tabs;
    // pieces that start with "!" (all of them stripped) are exclusions.
    explicit CSyncTarget(const nbx::CStringMap& text);

    std::string target;
    std::string logdir;
    std::string consoleUser;
    std::string consolePassword;
    bool enabled = true;
    std::int32_t oid = -1;
    std::set<std::string> includedClasses;
    std::set<std::string> excludedClasses;
};

// The class filter: nothing when nothing is included; never an excluded topic; "*" or "all"
// take every other topic.
bool accepts(const CSyncTarget& target, const std::string& topic);
