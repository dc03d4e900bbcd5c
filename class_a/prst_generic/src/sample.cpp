#include "prst_generic/sample.h"

const CPrstClassDef& CPrstSample::classDef() {
    // Nothing fixes the form of a sample's values, so they stay text: any text is accepted.
    static const CPrstClassDef def =
        CPrstClassDef("CPrstSample", "sample", "sample")
            .module(NBX_MODULE_TAG)
            .site("CPrstSample::_set")
            .failure("Failed to set a sample record from text.")
            .field(prst::modTime())
            .field(prst::value<std::string>("version", "VERSION"))
            .field(prst::value<std::string>("data", "DATA").as(CPrstFieldType::kTextBlob))
            .field(prst::domainMemberships());
    return def;
}
