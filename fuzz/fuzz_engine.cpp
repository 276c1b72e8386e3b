// Differential: the outline inferred straight from the text against the
// outline of the document tree, with and without examples, and the same
// error when nothing reads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <string_view>

#include "analyze.h"
#include "text/utf8.h"

namespace {

void expect_same(std::string_view text, bool show_examples) {
  auto fast = plomet::analyze_text(text, show_examples);
  auto tree = plomet::analyze_text_with_tree(text, show_examples);
  const bool same = fast.has_value() == tree.has_value() &&
                    (fast ? *fast == *tree : fast.error().display_text() == tree.error().display_text());
  if (same) return;
  std::fprintf(stderr, "outlines differ (show_examples=%d)\nfast: %s\ntree: %s\n", show_examples ? 1 : 0,
               fast ? fast->c_str() : fast.error().display_text().c_str(),
               tree ? tree->c_str() : tree.error().display_text().c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // The module only ever sees valid UTF-8.
  if (plomet::scan::find_invalid_utf8(text) != plomet::scan::kValidUtf8) return -1;
  expect_same(text, false);
  expect_same(text, true);
  return 0;
}
