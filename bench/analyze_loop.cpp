// Runs plomet's pipeline on one file N times, without the Python boundary,
// and prints the median time of one call: a target for perf and callgrind.
//
// usage: analyze_loop FILE [ITERATIONS] [--no-examples]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analyze.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: analyze_loop FILE [ITERATIONS] [--no-examples]\n");
    return 64;
  }
  long iterations = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 1;
  const bool show_examples = !(argc > 3 && std::strcmp(argv[3], "--no-examples") == 0);
  std::ifstream file(argv[1], std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

  std::vector<std::int64_t> times;
  std::size_t output_bytes = 0;
  for (long i = 0; i < std::max(1L, iterations); ++i) {
    const auto start = std::chrono::steady_clock::now();
    auto outline = plomet::analyze_text(text, show_examples);
    const auto stop = std::chrono::steady_clock::now();
    if (!outline) {
      std::printf("error\n");
      return 2;
    }
    output_bytes = outline->size();
    times.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(stop - start).count());
  }
  std::sort(times.begin(), times.end());
  std::printf("median_ns=%lld iterations=%zu bytes=%zu output_bytes=%zu\n",
              static_cast<long long>(times[times.size() / 2]), times.size(), text.size(),
              output_bytes);
  return 0;
}
