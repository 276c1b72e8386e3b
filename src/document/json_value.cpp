#include "document/json_value.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/position_index.h"

namespace plomet {

// Never throws: give_chunk frees a chunk it cannot keep.
JsonArena::~JsonArena() {
  // Largest first: one big chunk serves the next document best.
  std::sort(chunks_.begin(), chunks_.end(), [](const MemoryBlock& a, const MemoryBlock& b) { return a.size() > b.size(); });
  if (context_ == nullptr) return;
  for (MemoryBlock& chunk : chunks_) context_->give_chunk(std::move(chunk));
}

void* JsonArena::allocate(std::size_t bytes, std::size_t align) {
  std::size_t padding = (align - reinterpret_cast<std::uintptr_t>(cursor_) % align) % align;
  if (cursor_ == nullptr || padding + bytes > remaining_) {
    MemoryBlock chunk = context_ != nullptr ? context_->take_chunk(bytes + align) : MemoryBlock();
    if (!chunk) chunk = MemoryBlock(std::max(next_chunk_size_, bytes + align));
    cursor_ = chunk.bytes();
    remaining_ = chunk.size();
    chunks_.push_back(std::move(chunk));
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

JsonValue JsonValue::object(ObjectMembers members) {
  JsonValue v;
  v.kind_ = Kind::Object;
  v.members_ = members.begin();
  v.size_ = members.size();
  return v;
}

ObjectMembers JsonValue::members() const {
  if (kind_ != Kind::Object) return {};
  return {members_, size_};
}

JsonValue make_array(std::span<const JsonValue> items, JsonArena& arena) {
  JsonValue* copy = arena.allocate_array<JsonValue>(items.size());
  std::copy(items.begin(), items.end(), copy);
  return JsonValue::array({copy, items.size()});
}

namespace {

// A byte of a key's content, cheap to compute: keys whose bytes differ are
// compared in full only when their tags collide.
std::uint8_t key_tag(std::string_view key) {
  if (key.empty()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(key[i])); };
  const std::uint32_t mixed = (byte(0) * 31 + byte(key.size() - 1)) * 31 + byte(key.size() / 2) + static_cast<std::uint32_t>(key.size()) * 131;
  return static_cast<std::uint8_t>(mixed ^ (mixed >> 8));
}

// Up to this many members, a repeated key is found through the tags of the
// keys kept so far; beyond it, through a hash index.
constexpr std::size_t kTaggedMemberLimit = 64;

std::size_t keep_last_values_by_tag(std::span<const JsonMember> members, JsonMember* out) {
  std::array<std::uint8_t, kTaggedMemberLimit> tags;
  std::array<std::uint64_t, 4> tags_seen{};
  std::size_t count = 0;
  for (const JsonMember& m : members) {
    const std::uint8_t tag = key_tag(m.key);
    std::uint64_t& word = tags_seen[tag >> 6];
    const std::uint64_t bit = std::uint64_t{1} << (tag & 63);
    std::size_t earlier = count;
    if (word & bit) {
      for (std::size_t i = 0; i < count; ++i) {
        if (tags[i] == tag && out[i].key == m.key) {
          earlier = i;
          break;
        }
      }
    }
    if (earlier == count) {
      word |= bit;
      tags[count] = tag;
      out[count++] = m;
    } else {
      out[earlier].value = m.value;
    }
  }
  return count;
}

std::size_t keep_last_values_by_hash(std::span<const JsonMember> members, JsonMember* out, const JsonArena& arena) {
  PositionIndex own;
  PositionIndex* shared = arena.key_index(members.size());
  if (shared == nullptr) own.reset(members.size());
  PositionIndex& index = shared != nullptr ? *shared : own;
  std::size_t count = 0;
  for (const JsonMember& m : members) {
    const std::uint32_t earlier = index.insert_or_find(hash_bytes(m.key), static_cast<std::uint32_t>(count),
                                                       [&](std::uint32_t at) { return out[at].key == m.key; });
    if (earlier == PositionIndex::kAbsent) {
      out[count++] = m;
    } else {
      out[earlier].value = m.value;
    }
  }
  return count;
}

}  // namespace

JsonValue make_object(std::span<const JsonMember> members_in_order, JsonArena& arena) {
  JsonMember* out = arena.allocate_array<JsonMember>(members_in_order.size());
  const std::size_t count = members_in_order.size() <= kTaggedMemberLimit
                                ? keep_last_values_by_tag(members_in_order, out)
                                : keep_last_values_by_hash(members_in_order, out, arena);
  return JsonValue::object(ObjectMembers(out, count));
}

}  // namespace plomet
