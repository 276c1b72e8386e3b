// Each repair pass handles a long text of the damage it mends
// in time proportional to its length: ten times the text may take at most a
// generous multiple of ten times as long. The inputs include the shapes that
// would expose a quadratic scan: long whitespace runs after quotes (the
// look-aheads), long backslash runs before quotes, deep nesting, and many
// recorded changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "repair/repair_passes.h"

#if defined(__SANITIZE_ADDRESS__)
#define PLOMET_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLOMET_SANITIZED 1
#endif
#endif

namespace plomet {
namespace {

#ifdef PLOMET_SANITIZED
constexpr bool kCheckTiming = false;
constexpr std::size_t kSmall = 100'000;  // keeps the sanitizer run short
#else
constexpr bool kCheckTiming = true;
constexpr std::size_t kSmall = 1'000'000;
#endif
constexpr std::size_t kLarge = 10 * kSmall;

// Repeats unit until the text is at least size bytes long.
std::string repeat(std::string_view head, std::string_view unit, std::size_t size) {
  std::string text(head);
  text.reserve(size + unit.size());
  while (text.size() < size) text.append(unit);
  return text;
}

// A quote-led unit whose whitespace run grows with the text: a scan that
// re-skipped a run per character would be quadratic in the run length.
std::string quotes_with_long_runs(std::string_view head, std::string_view quote, std::string_view after,
                                  std::size_t size) {
  std::string unit(quote);
  unit.append(size / 100, ' ');
  unit.append(after);
  return repeat(head, unit, size);
}

struct LinearityCase {
  const char* name;
  RepairPass pass;
  std::function<std::string(std::size_t)> make_input;
};

// The processor time of the calling thread, which other processes on a busy
// machine do not stretch.
double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The best of runs timings of pass on input.
double seconds_for(RepairPass pass, const std::string& input, int runs) {
  double best = 1e9;
  Context context;
  for (int run = 0; run < runs; ++run) {
    const double start = thread_seconds();
    PassResult result = pass(context, input);
    const double stop = thread_seconds();
    EXPECT_TRUE(result.has_value());
    best = std::min(best, stop - start);
  }
  return best;
}

TEST(RepairPassLinearity, TenTimesTheDamageTakesAboutTenTimesAsLong) {
  const LinearityCase cases[] = {
      {"missing closing quotes", repair_json_missing_closing_quotes,
       [](std::size_t n) { return repeat("[", R"({"a": "x, "b": [1, 2}, "c": "y)" "\n", n); }},
      {"missing closing quotes, deep nesting", repair_json_missing_closing_quotes,
       [](std::size_t n) { return std::string(n / 2, '[') + std::string(n / 2, '}'); }},
      {"single quotes", repair_json_accidental_single_quote_instead_of_a_double_quote,
       [](std::size_t n) { return repeat("[", R"("it's", "b', 'c", )", n); }},
      {"single quotes, long whitespace runs", repair_json_accidental_single_quote_instead_of_a_double_quote,
       [](std::size_t n) { return quotes_with_long_runs("\"", "'", "x", n); }},
      {"comma behaviour", repair_json_comma_behavior,
       [](std::size_t n) { return repeat("[", R"("a" "b," "c", )", n); }},
      {"comma behaviour, long whitespace runs", repair_json_comma_behavior,
       [](std::size_t n) { return quotes_with_long_runs("", "\"a\"", "", n); }},
      {"truncated boolean, long backslash runs", repair_json_truncated_boolean_behavior,
       [](std::size_t n) {
         std::string unit = "\"";
         unit.append(n / 100, '\\').append("\" ");
         return repeat("[{", unit, n) + "tr";
       }},
      {"truncated boolean, counted closers", repair_json_truncated_boolean_behavior,
       [](std::size_t n) { return repeat("", R"([{"a": "x\"", "b": [1, f)", n); }},
      {"mismatched brackets", repair_json_mismatched_brackets,
       [](std::size_t n) { return std::string(n / 2, '[') + std::string(n / 4, '}') + "\"]\\\""; }},
      {"missing commas", repair_json_missing_commas_in_list,
       [](std::size_t n) { return repeat("[", R"(1 -2.5e+3 true "x y" [null] {"a" 1} )", n) + "]"; }},
      {"control characters", repair_json_control_characters,
       [](std::size_t n) { return repeat("[", "\"a\x01\",\r\n\x1B", n); }},
      {"duplicate quotes", repair_json_remove_duplicate_quotes,
       [](std::size_t n) { return repeat("[", R"("x"", "say "hi" now", "a"""  , )", n); }},
      {"duplicate quotes, long whitespace runs", repair_json_remove_duplicate_quotes,
       [](std::size_t n) { return quotes_with_long_runs("\"", "\"", "x", n); }},
      {"unexpected end", repair_json_close_unexpected_eof,
       [](std::size_t n) { return repeat("", R"([{"a": "\"x", )", n) + "\"abc"; }},
      {"missing quotes", repair_json_add_missing_quotes,
       [](std::size_t n) { return repeat("{", "key: some words, list: [a, 'b', 1.5], // note\n", n); }},
      {"missing quotes, one long whitespace run", repair_json_add_missing_quotes,
       [](std::size_t n) { return repeat("[a", " ", n) + "b]"; }},
      {"nested end", repair_json_handle_eof_between_lists,
       [](std::size_t n) { return repeat("", R"([{"a": "x\"", "b": [1, )", n); }},
      {"mismatched quotes", repair_json_fix_mismatched_quotes,
       [](std::size_t n) { return repeat("[", R"("it"s", 'don"t', "x, "y", )", n) + "]"; }},
      {"mismatched quotes, commas before long whitespace runs", repair_json_fix_mismatched_quotes,
       [](std::size_t n) { return quotes_with_long_runs("[\"", ",", "x", n); }},
      {"mismatched quotes, colons before long whitespace runs", repair_json_fix_mismatched_quotes,
       [](std::size_t n) { return quotes_with_long_runs("{", R"("k":)", "value, ", n); }},
      {"dangling member, long key", repair_json_close_unexpected_eof_in_array_tag,
       [](std::size_t n) { return repeat("", "[{", n / 2) + R"("a": 1, ")" + std::string(n / 2, 'k'); }},
      {"dangling member, long trailing whitespace", repair_json_close_unexpected_eof_in_array_tag,
       [](std::size_t n) { return repeat(R"({"a": 1, "b")", " ", n); }},
      {"dangling member, long backslash runs", repair_json_close_unexpected_eof_in_array_tag,
       [](std::size_t n) { return repeat(R"({"a": 1, ")", "\\\"", n) + "\""; }},
      {"counted end", repair_json_close_unexpected_eof_in_array_item,
       [](std::size_t n) { return repeat("", R"({"a": ["x", )", n); }},
  };
  for (const LinearityCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string small = c.make_input(kSmall);
    std::string large = c.make_input(kLarge);
    if (!kCheckTiming) {
      seconds_for(c.pass, small, 1);
      seconds_for(c.pass, large, 1);
      continue;
    }
    // Linear gives a ratio near 10 and quadratic near 100 or worse; the
    // slack covers cache effects. A busy machine can stall one measurement,
    // so a case gets three tries, while a quadratic scan fails all of them.
    double small_seconds = 0;
    double large_seconds = 0;
    bool proportional = false;
    for (int attempt = 0; attempt < 3 && !proportional; ++attempt) {
      small_seconds = seconds_for(c.pass, small, 3);
      large_seconds = seconds_for(c.pass, large, 1);
      proportional = large_seconds < 35 * small_seconds + 0.02;
    }
    EXPECT_TRUE(proportional) << "1x: " << small_seconds << " s, 10x: " << large_seconds << " s";
  }
}

}  // namespace
}  // namespace plomet
