// Summaries on several threads: each thread folds its own part and the parts
// merge to the summary of the whole; an interrupt that stops one thread's
// document mid-fold leaves that thread's summary as it was and the other
// thread's work untouched. The thread sanitizer build runs these.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/context.h"
#include "output/outline.h"
#include "shape/shape_summary.h"

namespace plomet {
namespace {

std::vector<std::string> records(int count) {
  std::vector<std::string> texts;
  for (int i = 0; i < count; ++i) {
    std::string text = R"({"id": )" + std::to_string(i) + R"(, "tags": [")" + std::to_string(i % 7) + R"("])";
    if (i % 3 == 0) text += R"(, "extra": {"n": )" + std::to_string(i % 5) + (i % 2 == 0 ? ".5}" : "}");
    texts.push_back(text + "}");
  }
  return texts;
}

TEST(ShapeSummaryThreads, PartsFoldedOnTheirOwnThreadsMergeToTheWhole) {
  Context context;
  const std::vector<std::string> texts = records(4000);
  ShapeSummary whole;
  for (const std::string& text : texts) ASSERT_FALSE(whole.add_text(context, text).has_value());

  constexpr std::size_t kThreads = 4;
  std::vector<ShapeSummary> parts(kThreads);
  std::vector<std::thread> workers;
  for (std::size_t t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      const std::size_t from = texts.size() * t / kThreads;
      const std::size_t to = texts.size() * (t + 1) / kThreads;
      Context own;  // a context serves one thread
      for (std::size_t i = from; i < to; ++i) (void)parts[t].add_text(own, texts[i]);
    });
  }
  for (std::thread& worker : workers) worker.join();
  // Merged pairwise on two threads, then together.
  std::thread left([&] { parts[0].merge(parts[1]); });
  std::thread right([&] { parts[2].merge(parts[3]); });
  left.join();
  right.join();
  parts[0].merge(parts[2]);
  EXPECT_EQ(parts[0].to_bytes(), whole.to_bytes());
  EXPECT_EQ(render_documents_outline(context, parts[0], true), render_documents_outline(context, whole, true));
}

TEST(ShapeSummaryThreads, AnInterruptedDocumentIsTakenBackOnItsThreadOnly) {
  Context context;
  std::string big = "[";
  for (int i = 0; i < 200000; ++i) big += R"({"k": )" + std::to_string(i) + "},";
  big.back() = ']';
  const std::vector<std::string> texts = records(500);

  ShapeSummary stopped;
  ASSERT_FALSE(stopped.add_text(context, texts[0]).has_value());
  const std::string before = stopped.to_bytes();
  ShapeSummary busy;
  std::thread interrupted([&] {
    Context stop_at_once;
    stop_at_once.set_interrupt_check([](void*) { return true; }, nullptr);
    auto error = stopped.add_text(stop_at_once, big);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->kind, DocumentError::Kind::Interrupted);
  });
  std::thread untouched([&] {
    Context own;
    for (const std::string& text : texts) (void)busy.add_text(own, text);
  });
  interrupted.join();
  untouched.join();
  EXPECT_EQ(stopped.to_bytes(), before);
  EXPECT_EQ(busy.documents(), texts.size());
}

}  // namespace
}  // namespace plomet
