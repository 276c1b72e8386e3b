#include "document/compact_json_writer.h"

#include <cstddef>
#include <vector>

#include "text/json_string_text.h"
#include "text/float_text.h"
#include "text/number_text.h"

namespace plomet {

// Writes without recursion, like the reader: a stack of the containers
// being written, each with the index of its next child.
template <class Out>
void write_compact_json(Context& context, const JsonValue& root, Out& out) {
  struct Open {
    const JsonValue* container;
    std::size_t next;
  };
  std::vector<Open> open;
  const JsonValue* value = &root;
  for (;;) {
    if (context.poll(kValueUnits)) return;
    if (value) {
      switch (value->kind()) {
        case JsonValue::Kind::Null:
          out.append("null");
          break;
        case JsonValue::Kind::Bool:
          out.append(value->as_bool() ? "true" : "false");
          break;
        case JsonValue::Kind::Number: {
          const JsonNumber& n = value->as_number();
          switch (n.kind) {
            case JsonNumber::Kind::U64: number_text::append_integer_text(out, n.u64_value); break;
            case JsonNumber::Kind::I64: number_text::append_integer_text(out, n.i64_value); break;
            case JsonNumber::Kind::F64: append_compact_float(out, n.f64_value); break;
          }
          break;
        }
        case JsonValue::Kind::String:
          append_json_string_text(out, value->as_string());
          break;
        case JsonValue::Kind::Array:
          out.push_back('[');
          open.push_back({value, 0});
          break;
        case JsonValue::Kind::Object:
          out.push_back('{');
          open.push_back({value, 0});
          break;
      }
      value = nullptr;
    }
    if (open.empty()) return;
    Open& top = open.back();
    bool is_object = top.container->is(JsonValue::Kind::Object);
    std::size_t size = is_object ? top.container->members().size() : top.container->items().size();
    if (top.next == size) {
      out.push_back(is_object ? '}' : ']');
      open.pop_back();
      continue;
    }
    if (top.next > 0) out.push_back(',');
    if (is_object) {
      const JsonMember& member = top.container->members().begin()[top.next];
      append_json_string_text(out, member.key);
      out.push_back(':');
      value = &member.value;
    } else {
      value = &top.container->items()[top.next];
    }
    ++top.next;
  }
}

template void write_compact_json(Context& context, const JsonValue& value, std::string& out);
template void write_compact_json(Context& context, const JsonValue& value, Text& out);

}  // namespace plomet
