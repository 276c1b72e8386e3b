#include "shape/json_value.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace plomet {

void* JsonArena::allocate(std::size_t bytes, std::size_t align) {
  std::size_t padding = (align - reinterpret_cast<std::uintptr_t>(cursor_) % align) % align;
  if (cursor_ == nullptr || padding + bytes > remaining_) {
    std::size_t size = std::max(next_chunk_size_, bytes + align);
    chunks_.push_back(std::make_unique_for_overwrite<std::byte[]>(size));
    cursor_ = chunks_.back().get();
    remaining_ = size;
    next_chunk_size_ = std::min<std::size_t>(next_chunk_size_ * 2, std::size_t{1} << 24);
    padding = (align - reinterpret_cast<std::uintptr_t>(cursor_) % align) % align;
  }
  std::byte* result = cursor_ + padding;
  cursor_ = result + bytes;
  remaining_ -= padding + bytes;
  return result;
}

std::string_view JsonArena::copy_string(std::string_view text) {
  if (text.empty()) return {};
  char* copy = allocate_array<char>(text.size());
  std::memcpy(copy, text.data(), text.size());
  return {copy, text.size()};
}

JsonValue JsonValue::boolean(bool b) {
  JsonValue v;
  v.kind_ = Kind::Bool;
  v.bool_ = b;
  return v;
}

JsonValue JsonValue::number(JsonNumber n) {
  JsonValue v;
  v.kind_ = Kind::Number;
  v.number_ = n;
  return v;
}

JsonValue JsonValue::string(std::string_view text) {
  JsonValue v;
  v.kind_ = Kind::String;
  v.chars_ = text.data();
  v.size_ = text.size();
  return v;
}

JsonValue JsonValue::array(std::span<JsonValue> items) {
  JsonValue v;
  v.kind_ = Kind::Array;
  v.items_ = items.data();
  v.size_ = items.size();
  return v;
}

JsonValue JsonValue::object(ObjectMap members) {
  JsonValue v;
  v.kind_ = Kind::Object;
  v.members_ = members.begin();
  v.size_ = members.size();
  return v;
}

ObjectMap JsonValue::members() const {
  if (kind_ != Kind::Object) return {};
  return {members_, size_};
}

const JsonValue* ObjectMap::find(std::string_view key) const {
  for (const JsonMember& m : *this) {
    if (m.key == key) return &m.value;
  }
  return nullptr;
}

JsonValue make_array(std::span<const JsonValue> items, JsonArena& arena) {
  JsonValue* copy = arena.allocate_array<JsonValue>(items.size());
  std::copy(items.begin(), items.end(), copy);
  return JsonValue::array({copy, items.size()});
}

JsonValue make_object(std::span<const JsonMember> members_in_order, JsonArena& arena) {
  JsonMember* out = arena.allocate_array<JsonMember>(members_in_order.size());
  std::size_t count = 0;
  constexpr std::size_t kDirectCompareLimit = 16;
  if (members_in_order.size() <= kDirectCompareLimit) {
    for (const JsonMember& m : members_in_order) {
      JsonMember* slot = std::find_if(out, out + count, [&](const JsonMember& o) { return o.key == m.key; });
      if (slot == out + count) {
        out[count++] = m;
      } else {
        slot->value = m.value;
      }
    }
  } else {
    std::unordered_map<std::string_view, std::size_t> index;
    index.reserve(members_in_order.size());
    for (const JsonMember& m : members_in_order) {
      auto [it, inserted] = index.try_emplace(m.key, count);
      if (inserted) {
        out[count++] = m;
      } else {
        out[it->second].value = m.value;
      }
    }
  }
  return JsonValue::object(ObjectMap(out, count));
}

}  // namespace plomet
