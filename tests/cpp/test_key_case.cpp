#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transform/key_case.h"

namespace plyfold {
namespace {

struct CaseCase {
  std::string input;
  std::string expected;
};

TEST(LowercaseAscii, OnlyAsciiLettersChange) {
  const std::vector<CaseCase> cases = {
      {"ÄB", "Äb"}, {"ABC_xyz-09", "abc_xyz-09"}, {"ΟΔΟΣ", "ΟΔΟΣ"}, {"", ""}, {"A\xffZ", "a\xffz"},
  };
  for (const CaseCase& c : cases) {
    std::string key = c.input;
    lowercase_ascii(key);
    EXPECT_EQ(key, c.expected) << c.input;
  }
}

TEST(LowercaseUnicode, FullDefaultMapping) {
  const std::vector<CaseCase> cases = {
      {"ÄB", "äb"},
      {"ABC", "abc"},
      {"ΟΔΟΣ", "οδος"},          // final sigma
      {"ΣΑΣ ΟΔΟΣ", "σας οδος"},  // word-final inside the key
      {"Σ", "σ"},                // no cased letter before it
      {"ΑΣ.", "ας."},            // followed by a non-letter
      {"ΑΣΑ", "ασα"},            // followed by a letter
      {"\u0130D", "i\u0307d"},   // capital I with dot above
      {"ÉCOLE_Ünïcode", "école_ünïcode"},
      {"A\xff\xc3\x84", "a\xff\xc3\xa4"},  // malformed bytes kept
      {"\xed\xa0\x80\xc3\x84", "\xed\xa0\x80\xc3\xa4"},
  };
  for (const CaseCase& c : cases) {
    std::string scratch;
    EXPECT_EQ(lowercase_unicode(c.input, scratch), c.expected) << c.input;
  }
}

TEST(LowercaseUnicode, UnchangedKeyIsReturnedAsGiven) {
  for (std::string key : {"", "abc_1", "äbç", "οδος", "ß", "日本", "a\xff"}) {
    std::string scratch;
    std::string_view result = lowercase_unicode(key, scratch);
    EXPECT_EQ(result.data(), key.data()) << key;
    EXPECT_TRUE(scratch.empty());
  }
}

}  // namespace
}  // namespace plyfold
