// The failure that stops an export, before it writes or while it writes: the
// grid export, the NetCDF export and the checks of their settings raise it,
// and its message is the one text the user is shown.
#pragma once

#include "modelfiles/file_io.h"

namespace veldra::out {

class StopExport : public files::Error {
public:
    using Error::Error;
};

// The message of an export asked for while no variable (or no layer of a
// variable with layers) is chosen.
inline constexpr const char* kNothingToExport =
    "Nothing was exported: choose a variable and, where it has layers, a layer first.";

}  // namespace veldra::out
