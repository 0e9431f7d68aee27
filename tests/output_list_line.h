// One line of a model's output list, in its fixed columns, for tests that
// write model folders: the model files' own writer.
#pragma once

#include "modelfiles/model_writer.h"

namespace veldra::testing {

using files::output_list_line;

}  // namespace veldra::testing
