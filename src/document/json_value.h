// The document tree shared by the reader, the repair driver and inference.
//
// Every node lives in a JsonArena owned by the JsonDocument that holds the
// tree, so nodes are trivially destructible: releasing a document of any depth
// is one walk over its arena chunks, never a recursion. String payloads and
// object keys are views: into the text the document was read from when the
// text needed no decoding, otherwise into the arena.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/context.h"

namespace plomet {

// Bump allocator for trivially destructible objects; memory is returned only
// when the arena is destroyed. Chunk addresses are stable across moves.
// An arena made with a context takes its chunks from the context's spares
// and leaves them there when destroyed, so that each document of the same
// work reuses memory that is already mapped instead of faulting in fresh
// pages; objects are built with the context's key index. An arena without a
// context (a summary's, which outlives any one piece of work) frees its own
// chunks.
class JsonArena {
 public:
  JsonArena() = default;
  explicit JsonArena(Context& context) : context_(&context) {}
  ~JsonArena();
  JsonArena(JsonArena&&) noexcept = default;
  JsonArena& operator=(JsonArena&&) noexcept = default;
  JsonArena(const JsonArena&) = delete;
  JsonArena& operator=(const JsonArena&) = delete;

  void* allocate(std::size_t bytes, std::size_t align);

  template <class T>
  T* allocate_array(std::size_t count) {
    if (count == 0) return nullptr;
    return static_cast<T*>(allocate(sizeof(T) * count, alignof(T)));
  }

  std::string_view copy_string(std::string_view text);

  // The context's index for building an object of `expected` keys, or
  // nullptr without a context.
  PositionIndex* key_index(std::size_t expected) const {
    return context_ != nullptr ? &context_->key_index(expected) : nullptr;
  }

 private:
  Context* context_ = nullptr;
  std::vector<MemoryBlock> chunks_;
  std::byte* cursor_ = nullptr;
  std::size_t remaining_ = 0;
  std::size_t next_chunk_size_ = 4096;
};

struct JsonNumber {
  enum class Kind : std::uint8_t { U64, I64, F64 };

  static JsonNumber u64(std::uint64_t v) { JsonNumber n; n.kind = Kind::U64; n.u64_value = v; return n; }
  static JsonNumber i64(std::int64_t v) { JsonNumber n; n.kind = Kind::I64; n.i64_value = v; return n; }
  static JsonNumber f64(double v) { JsonNumber n; n.kind = Kind::F64; n.f64_value = v; return n; }
  // An integer as the model stores it: U64 when zero or more, I64 otherwise.
  static JsonNumber integer(std::int64_t v) { return v >= 0 ? u64(static_cast<std::uint64_t>(v)) : i64(v); }

  // Trivial on purpose (JsonValue holds it in a union); made by the factories.
  Kind kind;
  union {
    std::uint64_t u64_value;
    std::int64_t i64_value;
    double f64_value;
  };
};

struct JsonMember;
class ObjectMembers;

class JsonValue {
 public:
  enum class Kind : std::uint8_t { Null = 0, Bool = 1, Number = 2, String = 3, Array = 4, Object = 5 };

  JsonValue() = default;  // Null
  static JsonValue null() { return JsonValue(); }
  static JsonValue boolean(bool b);
  static JsonValue number(JsonNumber n);
  // The text must outlive the value (the document's text or its arena).
  static JsonValue string(std::string_view text);
  // Items must live in the document's arena; see make_array.
  static JsonValue array(std::span<JsonValue> items);
  static JsonValue object(ObjectMembers members);

  Kind kind() const { return kind_; }
  bool is(Kind k) const { return kind_ == k; }

  bool as_bool() const { return bool_; }
  const JsonNumber& as_number() const { return number_; }
  std::string_view as_string() const { return {chars_, size_}; }
  std::span<const JsonValue> items() const { return {items_, size_}; }
  std::span<JsonValue> items() { return {items_, size_}; }
  ObjectMembers members() const;

  // Replaces a string's payload; the text must outlive the value.
  void set_string(std::string_view text) {
    chars_ = text.data();
    size_ = text.size();
    control_characters_ = ControlCharacters::Unknown;
  }

  // Whether the string, or some string value inside the container, holds a
  // control character other than LF. A reader that knows notes it, so the
  // control-character clean-up can pass over values known to hold none.
  enum class ControlCharacters : std::uint8_t { Unknown, None, Some };
  ControlCharacters control_characters() const { return control_characters_; }
  void note_control_characters(bool some) {
    control_characters_ = some ? ControlCharacters::Some : ControlCharacters::None;
  }

 private:
  Kind kind_ = Kind::Null;
  ControlCharacters control_characters_ = ControlCharacters::Unknown;
  std::size_t size_ = 0;
  union {
    bool bool_;
    JsonNumber number_;
    const char* chars_;
    JsonValue* items_;
    JsonMember* members_ = nullptr;
  };
};

struct JsonMember {
  std::string_view key;
  JsonValue value;
};

// A view of an object's members in insertion order, keys unique (compared
// byte for byte). Made only by make_object, which applies the
// insert-or-replace rule.
class ObjectMembers {
 public:
  ObjectMembers() = default;
  ObjectMembers(JsonMember* members, std::size_t size) : members_(members), size_(size) {}

  std::size_t size() const { return size_; }
  JsonMember* begin() const { return members_; }
  JsonMember* end() const { return members_ + size_; }

 private:
  JsonMember* members_ = nullptr;
  std::size_t size_ = 0;
};

// Copies items into the arena and returns the array value.
JsonValue make_array(std::span<const JsonValue> items, JsonArena& arena);

// Builds an object from members in the order they were written. A repeated
// key keeps the position of its first occurrence and takes the value of its
// last one. Linear time: objects of up to 64 members compare a key only with
// earlier keys that share a one-byte tag, larger ones use a hash index.
JsonValue make_object(std::span<const JsonMember> members_in_order, JsonArena& arena);

// A tree together with the storage its views point into.
struct JsonDocument {
  explicit JsonDocument(Context& context) : arena(context), context_(&context) {}
  JsonDocument(JsonDocument&&) noexcept = default;
  JsonDocument& operator=(JsonDocument&&) noexcept = default;
  // The owned text goes back to the context; never throws.
  ~JsonDocument() {
    if (owned_text) context_->recycle_text(std::move(*owned_text));
  }

  JsonArena arena;
  // Text owned by the document (a repaired text) that string views may point
  // into; held by pointer so the views survive moves of the document.
  std::unique_ptr<Text> owned_text;
  JsonValue root;

 private:
  Context* context_;
};

}  // namespace plomet
