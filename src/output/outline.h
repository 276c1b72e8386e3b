// The outline text: two spaces of indentation per level, lines joined with a
// single line feed, no final line feed. Written from a Schema or straight
// from a summary. Throws InternalFault on a broken invariant (a node without
// a kind). Examples beyond the limits are cut and marked (see ExampleLimits).
#pragma once

#include <string>

#include "core/context.h"
#include "shape/leaf_text.h"
#include "shape/schema.h"

namespace plomet {

class ShapeSummary;
struct SummaryNode;

// The work is counted on context, for its interrupt check.
void render_schema(Context& context, std::string& out, const Schema& schema, bool show_examples,
                   const ExampleLimits& limits = {});

// A summary's position as a document of its own: the shape of the first kind
// at each position.
void render_schema(Context& context, std::string& out, const SummaryNode& root, bool show_examples,
                   const ExampleLimits& limits = {});

// The outline of a Schema for a caller with no interrupt check to run: the
// reference path and the tests.
std::string render_schema(const Schema& schema, bool show_examples);

// Appends the outline of a summary that holds exactly one document, as that
// document (ShapeSummary::only_document_schema).
void render_only_document(Context& context, std::string& out, const ShapeSummary& summary, bool show_examples,
                          const ExampleLimits& limits = {});

// The command's outline of every document of a summary: the array of them
// (ShapeSummary::documents_schema).
std::string render_documents_outline(Context& context, const ShapeSummary& summary, bool show_examples,
                                     const ExampleLimits& limits = {});

}  // namespace plomet
