// The engine contract is header-only; this unit anchors the module's library.
#include "oodb/db_engine.h"
