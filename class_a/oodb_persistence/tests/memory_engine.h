#pragma once
// The in-memory engine is one of the shared test helpers; kept here for the includes of other
// modules' tests.
#include "testing/memory_engine.h"
