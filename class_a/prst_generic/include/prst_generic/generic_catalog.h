#pragma once
// The generic record classes that this module provides, for the initializers.

#include "oodb_persistence/prst_initializer.h"

void addGenericClasses(CPrstClassCatalog& catalog);
