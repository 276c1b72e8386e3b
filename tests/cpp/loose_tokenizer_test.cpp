#include "repair/loose_tokenizer.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace plomet {
namespace {

// Every token of a text as the stream delivers them, each text copied out
// before the stream moves on (the stream may reuse its buffer).
struct LooseTokenList {
  std::vector<LooseToken> tokens;
  std::deque<std::string> texts;
  bool quotes_added = false;
};

LooseTokenList tokenize_loose(std::string_view text) {
  Context context;
  LooseTokenList list;
  LooseTokenStream stream(context, text);
  for (; !stream.empty(); stream.pop()) {
    LooseToken token = stream.front();
    token.text = list.texts.emplace_back(token.text);
    list.tokens.push_back(token);
  }
  list.quotes_added = stream.quotes_added();
  return list;
}

std::string tagged(char tag, std::string_view text = {}) {
  std::string out(1, tag);
  out.append(text);
  return out;
}

// One line per token: P for punctuation, T text, N number, S space, C comment.
std::vector<std::string> describe(const LooseTokenList& list) {
  std::vector<std::string> out;
  for (const LooseToken& token : list.tokens) {
    switch (token.kind) {
      case LooseToken::Kind::PunctToken: out.push_back(tagged('P', {&token.punct, 1})); break;
      case LooseToken::Kind::TextToken: out.push_back(tagged('T', token.text)); break;
      case LooseToken::Kind::NumberToken: out.push_back(tagged('N', token.text)); break;
      case LooseToken::Kind::SpaceToken: out.push_back(tagged('S')); break;
      case LooseToken::Kind::CommentToken: out.push_back(tagged('C')); break;
    }
  }
  return out;
}

struct TokenCase {
  std::string input;
  std::vector<std::string> tokens;
  bool quotes_added;
};

TEST(LooseTokenizer, CutsTextIntoTokens) {
  const TokenCase cases[] = {
      {"", {}, false},
      {"   ", {"S"}, false},
      {"{name: John}", {"P{", "Tname", "P:", "S", "TJohn", "P}"}, true},
      // The comma ends the string; y is a bare word; the quote after it opens
      // a string that the brace ends at once.
      {R"({"a": "x, y"})", {"P{", "Ta", "P:", "S", "Tx", "P,", "S", "Ty", "T", "P}"}, true},
      {R"("it's")", {"Tit", "Ts", "T"}, false},
      {"'a\"b'", {"Ta", "Tb", "T"}, false},
      {"// note\n1", {"C", "N1"}, false},
      {"1 // to the end", {"N1", "S", "C"}, false},
      {"-12.5e+3,", {"N-12.5e+3", "P,"}, false},
      {"1-2e.", {"N1-2e."}, false},
      {"12abc", {"N12", "Tabc"}, true},
      {"true false null", {"Ttrue", "S", "Tfalse", "S", "Tnull"}, true},
      {"a/b /x //c", {"Ta/b", "S", "T/x", "S", "C"}, true},
      {"+1 .5", {"T+1", "S", "T.5"}, true},
      {"x-1:y", {"Tx-1", "P:", "Ty"}, true},
      {"\xC3\xA9t\xC3\xA9\xE3\x80\x80[", {"T\xC3\xA9t\xC3\xA9", "S", "P["}, true},
      {"\t\n\xC2\xA0 \xE2\x80\xA8]", {"S", "P]"}, false},
  };
  for (const TokenCase& c : cases) {
    LooseTokenList list = tokenize_loose(c.input);
    EXPECT_EQ(describe(list), c.tokens) << c.input;
    EXPECT_EQ(list.quotes_added, c.quotes_added) << c.input;
  }
}

TEST(LooseTokenizer, UnescapesQuotedStrings) {
  struct Case {
    std::string input;
    std::string text;
  };
  const Case cases[] = {
      {R"("tab\there")", "tab\there"},
      {R"("\b\f\n\r\t")", "\b\f\n\r\t"},
      {R"("a\qb")", "aqb"},
      {R"("\u0041")", "u0041"},
      {R"("a\"b")", "a\"b"},
      {R"("a\\b")", "a\\b"},
      {R"("a\,b")", "a,b"},  // an escaped comma does not end the string
      {"\"\\\xC3\xA9\"", "\xC3\xA9"},
      {R"("end\)", "end\\"},  // a backslash at the end of the input
      {R"('x\'y')", "x'y"},
  };
  for (const Case& c : cases) {
    LooseTokenList list = tokenize_loose(c.input);
    ASSERT_EQ(list.tokens.size(), 1u) << c.input;
    EXPECT_TRUE(list.tokens[0].is(LooseToken::Kind::TextToken));
    EXPECT_EQ(list.tokens[0].text, c.text) << c.input;
    EXPECT_FALSE(list.quotes_added);
  }
}

TEST(LooseTokenizer, KeepsEveryUnescapedTextOfAList) {
  // Each string's text lives in the list, not in the tokenizer's reused buffer.
  LooseTokenList list = tokenize_loose(R"(["a\tb", "c\nd", "plain"])");
  std::vector<std::string> texts;
  for (const LooseToken& token : list.tokens) {
    if (token.is(LooseToken::Kind::TextToken)) texts.emplace_back(token.text);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"a\tb", "c\nd", "plain"}));
}

TEST(LooseTokenStream, FindsBareWordsBeyondWhatWasRead) {
  Context context;
  LooseTokenStream stream(context, R"("a" 1 b)");
  EXPECT_TRUE(stream.front().is(LooseToken::Kind::TextToken));
  EXPECT_EQ(stream.front().text, "a");
  EXPECT_TRUE(stream.quotes_added());

  LooseTokenStream quoted_only(context, R"(["a", 1, "b"])");
  EXPECT_FALSE(quoted_only.quotes_added());
}

}  // namespace
}  // namespace plomet
