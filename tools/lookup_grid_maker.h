// The lookup maker lives in export/lookup_maker/; this name stays until the
// viewer's main.cpp includes it from there.
#pragma once

#include "export/lookup_maker/lookup_grid_maker.h"
