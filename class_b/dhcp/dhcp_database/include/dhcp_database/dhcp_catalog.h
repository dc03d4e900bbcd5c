#pragma once
// The record classes available to the DHCP initializer: the generic ones and this module's.

#include "oodb_persistence/prst_initializer.h"

void addDHCPClasses(CPrstClassCatalog& catalog);
