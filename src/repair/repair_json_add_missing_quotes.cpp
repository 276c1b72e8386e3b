// The missing-quote repair: the text is cut into loose tokens, a value is
// rebuilt from them, and that value is written out as compact JSON.
#include <string>
#include <string_view>

#include "core/context.h"
#include "document/compact_json_writer.h"
#include "repair/loose_reader.h"
#include "repair/pass_toolkit.h"
#include "repair/repair_passes.h"

namespace plomet {

PassResult repair_json_add_missing_quotes(Context& context, std::string_view text) {
  LooseTokenStream tokens(context, text);
  JsonArena arena(context);
  LooseReadResult value = parse_loose_value(tokens, arena);
  if (!value) return Unexpected(std::move(value).error());
  Text out = context.take_text(text.size() + 16);
  write_compact_json(context, *value, out);
  if (tokens.quotes_added()) {
    PLOMET_REPAIR_EVENT(context, "repair_json_add_missing_quotes", "added missing quotations where necessary");
  }
  return out;
}

}  // namespace plomet
