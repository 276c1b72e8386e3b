// Measures each UTF-8 validator this processor runs on files, as they are
// (in cache when small) and repeated to a buffer of BIG_MB megabytes (from
// memory), and prints GB/s, the median of several runs. For scale, the same
// for memchr looking for a byte the text lacks, which reads as fast as the
// C library can. Times are the thread's processor time, so that other
// programs sharing the cores do not count.
//
// usage: utf8_validation_bench [--big-mb N] FILE...
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "text/utf8.h"

namespace {

using plomet::scan::Utf8Kernel;

const char* validator_name(Utf8Kernel validator) {
  switch (validator) {
    case Utf8Kernel::kScalar:
      return "scalar";
    case Utf8Kernel::kSse42:
      return "sse4.2";
    case Utf8Kernel::kAvx2:
      return "avx2";
  }
  return "?";
}

double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// GB/s of search on text: each run calls it often enough to take about
// 0.2 s; the median of seven runs.
template <typename Search>
double gigabytes_per_second(std::string_view text, Search search) {
  std::size_t calls = 1;
  for (;;) {  // find a call count that takes long enough to time
    const double start = thread_seconds();
    for (std::size_t i = 0; i < calls; ++i) search();
    if (thread_seconds() - start > 0.05) break;
    calls *= 2;
  }
  calls *= 4;
  std::vector<double> rates;
  for (int run = 0; run < 7; ++run) {
    const double start = thread_seconds();
    for (std::size_t i = 0; i < calls; ++i) search();
    const double seconds = thread_seconds() - start;
    rates.push_back(static_cast<double>(text.size()) * static_cast<double>(calls) / seconds / 1e9);
  }
  std::sort(rates.begin(), rates.end());
  return rates[rates.size() / 2];
}

// Prints one line per validator and one for memchr; false when the
// validators disagree.
bool measure(const std::string& label, std::string_view text) {
  bool agree = true;
  std::size_t reference = 0;
  for (Utf8Kernel validator : plomet::scan::kUtf8Kernels) {
    if (!plomet::scan::cpu_runs(validator)) continue;
    std::size_t result = 0;
    const double rate = gigabytes_per_second(
        text, [&] { result = plomet::scan::find_invalid_utf8(text, validator); });
    if (validator == Utf8Kernel::kScalar) reference = result;
    agree = agree && result == reference;
    std::printf("%-28s %12zu bytes  %-7s %7.2f GB/s  %s\n", label.c_str(), text.size(), validator_name(validator),
                rate, result == plomet::scan::kValidUtf8 ? "valid" : "INVALID");
    std::fflush(stdout);
  }
  const void* volatile found = nullptr;
  const double rate = gigabytes_per_second(text, [&] { found = std::memchr(text.data(), 0xFF, text.size()); });
  std::printf("%-28s %12zu bytes  %-7s %7.2f GB/s  %s\n", label.c_str(), text.size(), "memchr", rate,
              found == nullptr ? "" : "(found a byte FF)");
  return agree;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t big_mb = 100;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--big-mb") == 0 && i + 1 < argc) {
      big_mb = std::strtoul(argv[++i], nullptr, 10);
    } else {
      paths.emplace_back(argv[i]);
    }
  }
  if (paths.empty()) {
    std::fprintf(stderr, "usage: utf8_validation_bench [--big-mb N] FILE...\n");
    return 64;
  }
  bool agree = true;
  for (const std::string& path : paths) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "cannot open %s\n", path.c_str());
      return 1;
    }
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::string name = path.substr(path.find_last_of('/') + 1);
    agree = measure(name, text) && agree;
    if (big_mb > 0 && !text.empty()) {
      std::string big;
      big.reserve(big_mb << 20);
      while (big.size() + text.size() <= big_mb << 20) big += text;
      agree = measure(name + " x" + std::to_string(big.size() / text.size()), big) && agree;
    }
  }
  if (!agree) {
    std::fprintf(stderr, "the validators disagree\n");
    return 2;
  }
  return 0;
}
