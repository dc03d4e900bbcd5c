#include "prst_generic/generic_catalog.h"

#include "prst_generic/domain.h"

void addGenericClasses(CPrstClassCatalog& catalog) {
    catalog.add<CPrstDomain>();
}
