// Parses one file with simdjson's DOM parser N times and prints the median
// time of one parse. The file is loaded once, before timing; the parser is
// allocated once for the file's size, as a long-running reader would keep it.
//
// usage: simdjson_parse FILE [ITERATIONS]
// prints: "median_ns=<n> min_ns=<n> iterations=<n> bytes=<n>" on success, or
//         "error=<simdjson error text>" with exit status 2 when the text is not JSON.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <simdjson.h>

namespace {

// Room beyond simdjson's default depth of 1024, so that the harness's deepest
// documents (1024 nested containers) parse.
constexpr std::size_t kMaxDepth = 4096;

int usage() {
  std::fprintf(stderr, "usage: simdjson_parse FILE [ITERATIONS]\n");
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) return usage();
  long iterations = 1;
  if (argc == 3) {
    char* end = nullptr;
    iterations = std::strtol(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0' || iterations < 1) return usage();
  }

  simdjson::padded_string text;
  if (auto error = simdjson::padded_string::load(argv[1]).get(text)) {
    std::fprintf(stderr, "cannot load %s: %s\n", argv[1], simdjson::error_message(error));
    return 1;
  }

  simdjson::dom::parser parser;
  if (auto error = parser.allocate(text.size(), kMaxDepth)) {
    std::fprintf(stderr, "cannot allocate the parser: %s\n", simdjson::error_message(error));
    return 1;
  }

  std::vector<std::int64_t> times;
  times.reserve(static_cast<std::size_t>(iterations));
  std::uint64_t checksum = 0;  // keeps the parse result observably used
  for (long i = 0; i < iterations; ++i) {
    const auto start = std::chrono::steady_clock::now();
    simdjson::dom::element root;
    const auto error = parser.parse(text).get(root);
    const auto stop = std::chrono::steady_clock::now();
    if (error) {
      std::printf("error=%s\n", simdjson::error_message(error));
      return 2;
    }
    checksum += static_cast<std::uint64_t>(root.type());
    times.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(stop - start).count());
  }

  std::sort(times.begin(), times.end());
  const std::size_t n = times.size();
  const std::int64_t median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
  std::printf("median_ns=%lld min_ns=%lld iterations=%zu bytes=%zu checksum=%llu\n",
              static_cast<long long>(median), static_cast<long long>(times.front()), n,
              text.size(), static_cast<unsigned long long>(checksum));
  return 0;
}
