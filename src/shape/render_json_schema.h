// The inferred shape as a JSON Schema (draft 2020-12) document.
#pragma once

#include <string>

#include "shape/leaf_text.h"
#include "shape/schema.h"

namespace plomet {

// One keyword per line, two spaces of indentation per level, lists of
// examples and required keys on one line, no final line feed. Kinds map to
// types (Int to "integer", Float to "number"), objects give "properties" in
// key order and "required" for the keys not marked optional, arrays give
// "items", and scalars give "examples" when show_examples is set. An array
// item shape of Null, which is what an empty first array leaves, allows any
// value. Examples beyond the limits are left out, and a "$comment" says so.
std::string render_json_schema(const Schema& schema, bool show_examples, const ExampleLimits& limits = {});

}  // namespace plomet
