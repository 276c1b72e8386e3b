// Test documents written as C++ literals, and a one-line description of a
// schema that names every kind, example, field, optional mark and item count:
//   null  bool  bool:true  int[1, 3]  float[2.5, -0]  str["a"]
//   [3: int[1]]             an array with max_items 3
//   {a: int[1], b?: null}   an object whose key b is optional
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "document/json_value.h"
#include "leaf_text_strings.h"
#include "shape/leaf_text.h"
#include "shape/schema.h"

namespace plomet::testing {

// Concatenation by appending (g++ 12 warns falsely on "literal" + string).
inline std::string cat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) out.append(part);
  return out;
}

struct J {
  enum class Kind { Null, Bool, Integer, U64, F64, Str, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::int64_t integer = 0;
  std::uint64_t u64 = 0;
  double f64 = 0;
  std::string text;
  std::vector<J> items;
  std::vector<std::pair<std::string, J>> members;

  J() = default;
  J(bool b) : kind(Kind::Bool), boolean(b) {}
  J(int n) : kind(Kind::Integer), integer(n) {}
  J(long n) : kind(Kind::Integer), integer(n) {}
  J(double x) : kind(Kind::F64), f64(x) {}
  J(const char* s) : kind(Kind::Str), text(s) {}
  J(std::string s) : kind(Kind::Str), text(std::move(s)) {}

  static J unsigned64(std::uint64_t n) {
    J j;
    j.kind = Kind::U64;
    j.u64 = n;
    return j;
  }
};

inline const J null_value;

inline J arr(std::initializer_list<J> items) {
  J j;
  j.kind = J::Kind::Array;
  j.items = items;
  return j;
}

inline J arr_of(std::vector<J> items) {
  J j;
  j.kind = J::Kind::Array;
  j.items = std::move(items);
  return j;
}

inline J obj(std::initializer_list<std::pair<std::string, J>> members) {
  J j;
  j.kind = J::Kind::Object;
  j.members = members;
  return j;
}

inline J obj_of(std::vector<std::pair<std::string, J>> members) {
  J j;
  j.kind = J::Kind::Object;
  j.members = std::move(members);
  return j;
}

inline JsonValue build_value(const J& j, JsonArena& arena) {
  switch (j.kind) {
    case J::Kind::Null: return JsonValue::null();
    case J::Kind::Bool: return JsonValue::boolean(j.boolean);
    case J::Kind::Integer: return JsonValue::number(JsonNumber::integer(j.integer));
    case J::Kind::U64: return JsonValue::number(JsonNumber::u64(j.u64));
    case J::Kind::F64: return JsonValue::number(JsonNumber::f64(j.f64));
    case J::Kind::Str: return JsonValue::string(arena.copy_string(j.text));
    case J::Kind::Array: {
      std::vector<JsonValue> items;
      for (const J& item : j.items) items.push_back(build_value(item, arena));
      return make_array(items, arena);
    }
    case J::Kind::Object: {
      std::vector<JsonMember> members;
      for (const auto& [key, value] : j.members) members.push_back({arena.copy_string(key), build_value(value, arena)});
      return make_object(members, arena);
    }
  }
  return JsonValue::null();
}

struct TestDocument {
  JsonArena arena;
  JsonValue root;
};

inline TestDocument document(const J& j) {
  TestDocument d;
  d.root = build_value(j, d.arena);
  return d;
}

template <class T, class Write>
void describe_list(std::string& out, const LargeVector<T>& values, Write write) {
  out.push_back('[');
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out.append(", ");
    write(values[i]);
  }
  out.push_back(']');
}

inline void describe_into(std::string& out, const Schema& schema) {
  if (std::holds_alternative<NullSchema>(schema.payload)) {
    out.append("null");
  } else if (const auto* b = std::get_if<BoolSchema>(&schema.payload)) {
    out.append(!b->example ? "bool" : *b->example ? "bool:true" : "bool:false");
  } else if (const auto* i = std::get_if<IntSchema>(&schema.payload)) {
    out.append("int");
    describe_list(out, i->examples, [&](std::int64_t v) { out.append(int_text(v)); });
  } else if (const auto* f = std::get_if<FloatSchema>(&schema.payload)) {
    out.append("float");
    describe_list(out, f->examples, [&](double v) { out.append(float_text(v)); });
  } else if (const auto* s = std::get_if<StrSchema>(&schema.payload)) {
    out.append("str");
    describe_list(out, s->examples, [&](std::string_view v) { out.append("\"").append(v).append("\""); });
  } else if (const auto* a = std::get_if<ArraySchema>(&schema.payload)) {
    out.append("[").append(std::to_string(a->max_items)).append(": ");
    if (a->item) {
      describe_into(out, *a->item);
    } else {
      out.append("<no item>");
    }
    out.append("]");
  } else if (const auto* o = std::get_if<ObjectSchema>(&schema.payload)) {
    out.push_back('{');
    for (std::size_t k = 0; k < o->fields.size(); ++k) {
      const SchemaField& field = o->fields[k];
      if (k > 0) out.append(", ");
      out.append(field.key).append(field.optional ? "?: " : ": ");
      describe_into(out, field.value);
      if (field.seen) out.append("<seen left set>");
    }
    out.push_back('}');
  } else {
    out.append("<valueless>");
  }
}

inline std::string describe(const Schema& schema) {
  std::string out;
  describe_into(out, schema);
  return out;
}

}  // namespace plomet::testing
