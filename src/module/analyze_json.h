// The method entry of analyze_json, for the module's exec slot.
#pragma once

#include "module/python_api.h"

namespace plomet::module {

PyMethodDef* analyze_json_method();

}  // namespace plomet::module
