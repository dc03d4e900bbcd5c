#include "host/feature_set.h"

namespace host {

bool CFeatureSet::syncEnabled() const {
    return m_syncEnabled;
}

}  // namespace host
