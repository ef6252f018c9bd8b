#include "support/wildcard.h"

#include <gtest/gtest.h>

#include <random>

#include "core/Error.h"

namespace vx {
namespace {

TEST(Wildcard, EmptyMaskIsAnError) {
  try {
    WildcardMatch("", "ABC");
    FAIL() << "no failure raised";
  } catch (const VeltrixError& e) {
    EXPECT_STREQ(e.what(), "Search string cannot be blank");
  }
  EXPECT_THROW(WildcardMatch("", ""), VeltrixError);
}

TEST(Wildcard, EmptyText) {
  EXPECT_TRUE(WildcardMatch("*", ""));
  EXPECT_FALSE(WildcardMatch("**", ""));
  EXPECT_FALSE(WildcardMatch("?", ""));
  EXPECT_FALSE(WildcardMatch("A", ""));
  EXPECT_FALSE(WildcardMatch("*A", ""));
}

TEST(Wildcard, LiteralsAndQuestionMarksAreAnchored) {
  EXPECT_FALSE(WildcardMatch("A?C", "AC"));
  EXPECT_FALSE(WildcardMatch("A?", "ABC"));
  EXPECT_TRUE(WildcardMatch("A?", "AB"));
  EXPECT_FALSE(WildcardMatch("ABC", "abc"));
  EXPECT_TRUE(WildcardMatch("ABC", "ABC"));
  EXPECT_FALSE(WildcardMatch("AB", "ABC"));
  EXPECT_FALSE(WildcardMatch("BC", "ABC"));
  EXPECT_TRUE(WildcardMatch("???", "ABC"));
}

TEST(Wildcard, Stars) {
  EXPECT_FALSE(WildcardMatch("*.*", "README"));
  EXPECT_TRUE(WildcardMatch("*.*", "A."));
  EXPECT_TRUE(WildcardMatch("*.*", "A.TXT"));
  EXPECT_TRUE(WildcardMatch("*A", "ABA"));
  EXPECT_TRUE(WildcardMatch("A*B*C", "AXBXC"));
  EXPECT_FALSE(WildcardMatch("A*B*C", "AXBXCX"));
  EXPECT_TRUE(WildcardMatch("*.TXT", "A.TXT.TXT"));
  EXPECT_TRUE(WildcardMatch("DOC*", "DOC"));
  EXPECT_TRUE(WildcardMatch("*AB", "AAB"));
  EXPECT_TRUE(WildcardMatch("**", "X"));
}

TEST(Wildcard, StarFollowedByQuestionMarkKeepsItsSingleResumePoint) {
  EXPECT_FALSE(WildcardMatch("*?X", "AXX"));
  EXPECT_TRUE(WildcardMatch("*?X", "ABX"));
  EXPECT_FALSE(WildcardMatch("*??X", "AXXX"));
  EXPECT_FALSE(WildcardMatch("*?A", "BAA"));
  // Each ? after a star still takes one character: too short a name fails.
  EXPECT_FALSE(WildcardMatch("*??", "A"));
  EXPECT_TRUE(WildcardMatch("*??", "AB"));
}

TEST(Wildcard, StartPosition) {
  EXPECT_TRUE(WildcardMatch("BC", "ABC", 2));
  EXPECT_FALSE(WildcardMatch("ABC", "ABC", 2));
  EXPECT_TRUE(WildcardMatch("**", "ABC", 4));
  EXPECT_FALSE(WildcardMatch("A", "ABC", 4));
  EXPECT_FALSE(WildcardMatch("?", "ABC", 4));
}

// General backtracking: the usual rules of * and ?.
bool Backtrack(const char* mask, const char* text) {
  if (*mask == '\0') return *text == '\0';
  if (*mask == '*') return Backtrack(mask + 1, text) || (*text != '\0' && Backtrack(mask, text + 1));
  if (*text == '\0') return false;
  return (*mask == '?' || *mask == *text) && Backtrack(mask + 1, text + 1);
}

std::string RandomWord(std::mt19937& random, const std::string& alphabet, std::size_t maxLength) {
  std::string word(1 + random() % maxLength, ' ');
  for (char& c : word) c = alphabet[random() % alphabet.size()];
  return word;
}

TEST(Wildcard, AgreesWithBacktrackingWhenNoStarIsFollowedByAQuestionMark) {
  std::mt19937 random(20240611);
  int compared = 0, matched = 0;
  while (compared < 20000) {
    const std::string mask = RandomWord(random, "AB*?.", 7);
    if (mask.find("*?") != std::string::npos) continue;
    const std::string text = RandomWord(random, "AB.", 8);
    const bool expected = Backtrack(mask.c_str(), text.c_str());
    ASSERT_EQ(WildcardMatch(mask, text), expected) << mask << " against " << text;
    ++compared;
    matched += expected;
  }
  // The comparison means something only if both answers occur often.
  EXPECT_GT(matched, compared / 20);
  EXPECT_LT(matched, compared - compared / 20);
}

}  // namespace
}  // namespace vx
