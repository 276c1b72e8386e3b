// The inferred shape as a JSON Schema (draft 2020-12) document.
#pragma once

#include <string>

#include "shape/leaf_text.h"
#include "shape/schema.h"

namespace plomet {

class ShapeSummary;

// The JSON Schema of the documents of a summary: one keyword per line, two
// spaces of indentation per level, lists of examples and required keys on
// one line, no final line feed. Every kind of value seen at a position is
// admitted (Int as "integer", Float as "number", several kinds as a type
// list, or an anyOf where containers are among them); objects give
// "properties" in key order and "required" for the keys every object had,
// arrays give "items", unless some value of that kind was not folded, so its
// members are not known. Scalars give the examples of the folded shape when
// show_examples is set. Examples beyond the limits are left out, and a
// "$comment" says so.
std::string render_json_schema(const ShapeSummary& summary, bool show_examples, const ExampleLimits& limits = {});

}  // namespace plomet
