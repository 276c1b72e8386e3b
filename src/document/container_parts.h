// The items and members of the containers open while a document tree is
// read, on two stacks that every nesting level shares: a container's parts
// lie above the mark taken when it opened, and closing it copies them into
// the arena in one piece.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "document/json_value.h"

namespace plomet {

class ContainerParts {
 public:
  // Where the parts of a container that opens now begin.
  std::size_t mark(bool is_object) const { return is_object ? members_.size() : items_.size(); }

  void add_item(const JsonValue& value) { items_.push_back(value); }
  void add_member(std::string_view key, const JsonValue& value) { members_.push_back({key, value}); }
  // The value of the member added last.
  JsonValue& last_member_value() { return members_.back().value; }

  // The container made of the parts above mark, which leave the stacks.
  JsonValue close(bool is_object, std::size_t mark, JsonArena& arena) {
    if (is_object) {
      const JsonValue object = make_object(std::span(members_).subspan(mark), arena);
      members_.resize(mark);
      return object;
    }
    const JsonValue array = make_array(std::span(items_).subspan(mark), arena);
    items_.resize(mark);
    return array;
  }

 private:
  std::vector<JsonValue> items_;
  std::vector<JsonMember> members_;
};

}  // namespace plomet
