// Inference straight from the reader's events: the shape of a JSON5 text
// without a document tree.
#pragma once

#include <cstdint>
#include <string_view>

#include "document/json_value.h"
#include "shape/schema.h"

namespace plomet {

enum class TextInference : std::uint8_t {
  Inferred,
  // The text is not one JSON5 document.
  DoesNotRead,
  // The text holds a repeated key in an object that is folded into an
  // earlier one, where the first value would already have changed the
  // shape; the caller takes the tree path for this text.
  NeedsTree,
};

// Infers the shape of text into schema, exactly as reading it, cleaning its
// string values of control characters and inferring the tree would.
// Examples are gathered only when keep_examples is set; a kept string example
// that needs decoding or cleaning is copied into strings, any other is a view
// into text. Every kept string that the clean-up changes emits its event, and
// so does each container around it, innermost first.
TextInference infer_schema_from_text(std::string_view text, bool keep_examples, JsonArena& strings, Schema& schema);

}  // namespace plomet
