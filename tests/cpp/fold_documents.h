// The tests' oracle of ShapeSummary: many documents folded into one shape
// through their trees, as the items of one array fold: the result is the
// shape of an array holding every document in order, so the first document
// decides the kind and max_items counts the documents.
//
// The fold keeps its own copies of the strings it retains (keys and string
// examples), so each document may be released as soon as it is added, and a
// stream of any length takes memory for the shape alone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "document/json_value.h"
#include "core/position_index.h"
#include "shape/schema.h"

namespace plomet {

class DocumentFold {
 public:
  DocumentFold();

  void add(const JsonValue& document);

  // An Array whose item is the folded shape of the documents (Null before the
  // first) and whose max_items is their number.
  const Schema& shape() const { return shape_; }
  const Schema& item() const { return *std::get<ArraySchema>(shape_.payload).item; }

 private:
  Schema& item_mut() { return *std::get<ArraySchema>(shape_.payload).item; }
  void index_first_example(const Schema& item);
  void add_scalar(const Schema& document);
  void keep_strings_of(Schema& schema);
  void compact_strings_when_due();

  Schema shape_;
  // Copies of the retained strings, and how many bytes went into them since
  // the last compaction; copies that the shape no longer uses are dropped by
  // copying the used ones anew once the store has doubled.
  JsonArena strings_;
  std::size_t string_bytes_ = 0;
  std::size_t compact_at_;
  // Index of the examples of a scalar item shape, for de-duplication.
  PositionIndex example_index_;
};

}  // namespace plomet
