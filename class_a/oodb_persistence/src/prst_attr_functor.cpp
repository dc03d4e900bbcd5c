#include "oodb_persistence/prst_attr_functor.h"

#include "oodb_persistence/prst_user_base.h"

namespace {

[[noreturn]] void noConverter(const std::string& attrName) {
    NBX_THROW_STATIC(nbx::CException, NBX_MODULE_TAG, "CPrstAttrFunctor::convert",
                     nbx::msg("Cannot find converter for attribute '%1'.", attrName),
                     nbx::msg("No such attribute."));
}

}  // namespace

std::string CPrstAttrFunctor::convertTo(const CPrstUserBase& object, const std::string& attrName) {
    if (!object.hasAttr(attrName) || !object.attr(attrName).stored()) noConverter(attrName);
    return object.attr(attrName).storedText();
}

void CPrstAttrFunctor::convertFrom(CPrstUserBase& object, const std::string& attrName,
                                   const std::string& stored) {
    if (!object.hasAttr(attrName) || !object.attr(attrName).stored()) noConverter(attrName);
    object.attr(attrName).setStoredText(stored);
}
