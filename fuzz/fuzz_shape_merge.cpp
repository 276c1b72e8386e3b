// Differential: the input's lines are documents. Their summary must equal
// the tree fold of the same documents, and summaries of consecutive parts,
// cut where the first bytes say and merged in order (one through its
// bytes), must equal the summary of the whole.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "repair/parse_or_repair.h"
#include "fold_documents.h"
#include "output/outline.h"
#include "shape/shape_summary.h"

namespace {

void expect(bool same, const char* what, const std::string& got, const std::string& want) {
  if (same) return;
  std::fprintf(stderr, "%s differ\ngot:  %s\nwant: %s\n", what, got.c_str(), want.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  plomet::Context context;
  if (size < 2) return -1;
  const bool examples = (data[0] & 1) != 0;
  const std::size_t cut_a = data[0] >> 1;
  const std::size_t cut_b = data[1];
  std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);

  std::vector<std::string_view> documents;
  plomet::ShapeSummary whole(examples);
  plomet::DocumentFold tree_fold;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (whole.add_text(context, line).has_value()) continue;
    documents.push_back(line);
    plomet::ParseResult tree = plomet::parse_or_repair(context, line);
    if (!tree) std::abort();  // the summary read what the tree path cannot
    tree_fold.add(tree->root);
  }
  const std::string whole_outline = plomet::render_documents_outline(context, whole, examples);
  const std::string tree_outline = plomet::render_schema(tree_fold.shape(), examples);
  expect(whole_outline == tree_outline, "outlines", whole_outline, tree_outline);

  const std::size_t a = std::min(cut_a, documents.size());
  const std::size_t b = std::max(a, std::min(cut_b, documents.size()));
  plomet::ShapeSummary parts[3] = {plomet::ShapeSummary(examples), plomet::ShapeSummary(examples),
                                   plomet::ShapeSummary(examples)};
  for (std::size_t i = 0; i < documents.size(); ++i) {
    if (parts[i < a ? 0 : i < b ? 1 : 2].add_text(context, documents[i]).has_value()) std::abort();
  }
  auto middle = plomet::ShapeSummary::from_bytes(parts[1].to_bytes());
  if (!middle) std::abort();
  middle->merge(parts[2]);
  parts[0].merge(*middle);
  expect(parts[0].to_bytes() == whole.to_bytes(), "merged summaries",
         plomet::render_documents_outline(context, parts[0], examples), whole_outline);
  return 0;
}
