#include "standard/object.h"

#include "standard/throw.h"

namespace nbx {

std::string CObject::className() const {
    return typeName(this);
}

}  // namespace nbx
