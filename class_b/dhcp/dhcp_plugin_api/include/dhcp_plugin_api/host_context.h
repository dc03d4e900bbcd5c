#pragma once
// What the host gives every plug-in it loads: its log sink and its feature set.

#include <memory>

#include "standard/exception_facade.h"

// The features this host is licensed or configured to run.
class CIDHCPFeatureSet {
public:
    virtual ~CIDHCPFeatureSet() = default;
    // True when the replication plug-in may run.
    virtual bool syncEnabled() const = 0;
};

using CIDHCPFeatureSetPtr = std::shared_ptr<const CIDHCPFeatureSet>;

class CIHostContext {
public:
    virtual ~CIHostContext() = default;
    // log(severity, message, nullptr); severities are the exception record's bits.
    virtual nbx::CILogSink& logSink() = 0;
    virtual CIDHCPFeatureSetPtr featureSet() = 0;
};
