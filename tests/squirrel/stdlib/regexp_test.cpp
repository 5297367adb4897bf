#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "squirrel/stdlib/regexp.h"

namespace {

using sqstd::Regexp;

Regexp compile(const std::string& pattern) {
    return Regexp(pattern.data(), pattern.size());
}

std::string compileError(const std::string& pattern) {
    Regexp re = compile(pattern);
    return re.isReady() ? "compiled" : re.errorText();
}

// "begin-end" of the first match from `start`, or "none".
std::string searchIn(const std::string& pattern, const std::string& text, size_t start = 0) {
    Regexp re = compile(pattern);
    size_t begin = 0, end = 0;
    if (!re.search(text.data(), text.size(), start, &begin, &end)) return "none";
    return std::to_string(begin) + "-" + std::to_string(end);
}

bool matches(const std::string& pattern, const std::string& text) {
    Regexp re = compile(pattern);
    return re.match(text.data(), text.size());
}

std::string group(Regexp& re, int i) {
    size_t begin = 0, end = 0;
    re.capture(i, &begin, &end);
    return std::to_string(begin) + "-" + std::to_string(end);
}

TEST(RegexpCompileErrors, GiveTheScriptVisibleTexts) {
    EXPECT_EQ(compileError("(abc"), "expected paren");
    EXPECT_EQ(compileError("(?x)"), "expected paren");
    EXPECT_EQ(compileError("a{1,2"), "expected paren");
    EXPECT_EQ(compileError("[abc"), "letter expected");
    EXPECT_EQ(compileError("a|"), "letter expected");
    EXPECT_EQ(compileError(""), "letter expected");
    EXPECT_EQ(compileError("a\\"), "letter expected");
    EXPECT_EQ(compileError("a\tb"), "letter expected");
    EXPECT_EQ(compileError("\xE0"), "letter expected");
    EXPECT_EQ(compileError("[]"), "empty class");
    EXPECT_EQ(compileError("[^]"), "empty class");
    EXPECT_EQ(compileError("[\\d-z]"), "cannot use character classes in ranges");
    EXPECT_EQ(compileError("a{x}"), "number expected");
    EXPECT_EQ(compileError("a{,3}"), "number expected");
    EXPECT_EQ(compileError("a{1x}"), ", or } expected");
    EXPECT_EQ(compileError("a{1234567890}"), "overflow in numeric constant");
    EXPECT_EQ(compileError("a)"), "unexpected character");
    EXPECT_EQ(compileError("a**"), "unexpected character");
}

TEST(RegexpCompileErrors, AcceptEscapedAndClassBytes) {
    EXPECT_EQ(compileError("\\\xE0"), "compiled");
    EXPECT_EQ(compileError("[\x81-\x9F]"), "compiled");
    EXPECT_EQ(compileError("a*?"), "compiled");
    EXPECT_EQ(compileError("a{123456789}"), "compiled");
}

TEST(RegexpCompileErrors, DeepNestingFailsInsteadOfOverflowingTheStack) {
    std::string deep(100000, '(');
    EXPECT_EQ(compileError(deep + "a" + std::string(100000, ')')), "pattern too complex");
    std::string fine = std::string(50, '(') + "a" + std::string(50, ')');
    Regexp re = compile(fine);
    ASSERT_TRUE(re.isReady());
    EXPECT_EQ(re.subexpCount(), 51);
    EXPECT_TRUE(re.match("a", 1));
}

TEST(RegexpQuantifiers, StopWhereTheNextElementMatches) {
    EXPECT_EQ(searchIn("a.*b", "axbyb"), "0-3");
    EXPECT_EQ(searchIn("a*a", "aaa"), "0-2");
    EXPECT_FALSE(matches("a*a", "aaa"));
    EXPECT_FALSE(matches("a*a", "a"));  // the lone a is taken by a*
    EXPECT_TRUE(matches("a.*", "axbyb"));  // last element: takes all
    EXPECT_TRUE(matches("a*?", "aa?"));    // ? after a quantifier is a letter
    EXPECT_TRUE(matches("x{2,3}", "xxx"));
    EXPECT_FALSE(matches("x{2,3}", "xxxx"));
    EXPECT_FALSE(matches("x{2}", "x"));
}

TEST(RegexpQuantifiers, SkipTheCheckBeforeAnOptionalElement) {
    // b* may match nothing, so a+ does not stop for it and takes every a.
    EXPECT_EQ(searchIn("a+b*a", "aaa"), "none");
    EXPECT_EQ(searchIn("a+ba", "aaaba"), "0-5");
}

TEST(RegexpQuantifiers, EndOnAnAtomThatMatchesNothing) {
    EXPECT_EQ(searchIn("(a*)*b", "aaab"), "0-4");
    EXPECT_EQ(searchIn("(a*)*", "bbb"), "0-0");
    std::string many(5000, 'a');
    EXPECT_EQ(searchIn("((a*)*)*c", many), "none");
}

TEST(RegexpAlternation, TriesTheRightSideOnlyWhenTheLeftFails) {
    EXPECT_TRUE(matches("cat|dog", "dog"));
    EXPECT_FALSE(matches("a|ab", "ab"));  // the left side wins, no retry
    EXPECT_TRUE(matches("ab|a", "ab"));
    EXPECT_EQ(searchIn("x(a|b)+y", "zxabay"), "1-6");
    EXPECT_TRUE(matches("^a|^b", "b"));
}

TEST(RegexpAnchors, FollowTheSearchedRange) {
    EXPECT_EQ(searchIn("^b", "ab"), "none");
    EXPECT_EQ(searchIn("^b", "ab", 1), "1-2");
    EXPECT_EQ(searchIn("b$", "abab"), "3-4");
    EXPECT_EQ(searchIn("a^", "a^"), "0-2");  // ^ inside a sequence is a letter
    EXPECT_EQ(searchIn("a", "a", 1), "none");
    EXPECT_EQ(searchIn("a", "", 0), "none");
    EXPECT_EQ(searchIn("a", "abc", 99), "none");
}

TEST(RegexpAnchors, DotNeverStepsPastTheEnd) {
    EXPECT_EQ(searchIn("a.", "a"), "none");
    EXPECT_EQ(searchIn("a.", "ab"), "0-2");
    EXPECT_TRUE(matches("a.c", std::string("a\nc")));
}

TEST(RegexpBoundaries, LookOnlyAtSpaces) {
    // The test sits between the current byte and the next one.
    EXPECT_EQ(searchIn("o\\b", "foo bar"), "1-2");
    EXPECT_EQ(searchIn("\\bb", "foo bar"), "none");  // true at the space, not at b
    EXPECT_EQ(searchIn("\\bf", "foo bar"), "0-1");
    EXPECT_EQ(searchIn("r\\b", "bar"), "2-3");  // the end of the text counts
    EXPECT_EQ(searchIn("a\\B", "a b"), "none");
}

TEST(RegexpClasses, MatchAsciiOnlyForPredefinedClasses) {
    EXPECT_TRUE(matches("[a-cx-z]+", "abczyx"));
    EXPECT_FALSE(matches("[z-a]", "m"));  // a reversed range matches nothing
    EXPECT_TRUE(matches("[^0-9]+", "abc"));
    EXPECT_TRUE(matches("[\\d_]+", "1_2"));
    EXPECT_TRUE(matches("[\\b]", "b"));  // \b in a class is the letter
    EXPECT_TRUE(matches("[\x81-\x9F]", "\x88"));
    EXPECT_FALSE(matches("\\w", "\xE0"));
    EXPECT_FALSE(matches("\\W", "\xE0"));
    EXPECT_TRUE(matches("[^a]", "\xE0"));
    EXPECT_TRUE(matches("\\x+\\X", "fF0g"));
    EXPECT_TRUE(matches("\\l\\u\\p\\s\\c", "aB! \x01"));
}

TEST(RegexpCaptures, RecordGroupsInTheOrderOfTheirParentheses) {
    Regexp repeated = compile("(a)+");
    size_t b = 0, e = 0;
    ASSERT_TRUE(repeated.search("xaaa", 4, 0, &b, &e));
    EXPECT_EQ(group(repeated, 0), "1-4");
    EXPECT_EQ(group(repeated, 1), "1-2");  // the first repetition stays

    Regexp skipped = compile("(a)|(b)");
    ASSERT_TRUE(skipped.search("b", 1, 0, &b, &e));
    EXPECT_EQ(group(skipped, 1), "0-0");  // recorded, then cleared by its own failure
    EXPECT_EQ(group(skipped, 2), "0-1");

    Regexp nested = compile("((a)(b))c");
    ASSERT_TRUE(nested.search("zabc", 4, 0, &b, &e));
    EXPECT_EQ(nested.subexpCount(), 4);
    EXPECT_EQ(group(nested, 1), "1-3");
    EXPECT_EQ(group(nested, 2), "1-2");
    EXPECT_EQ(group(nested, 3), "2-3");

    Regexp empty = compile("(x*)y");
    ASSERT_TRUE(empty.search("y", 1, 0, &b, &e));
    EXPECT_EQ(group(empty, 1), "0-0");

    Regexp failed = compile("(a)x|(a)y");
    ASSERT_TRUE(failed.search("ay", 2, 0, &b, &e));
    EXPECT_EQ(group(failed, 1), "0-1");  // kept although its branch failed later
    EXPECT_EQ(group(failed, 2), "0-1");
    EXPECT_EQ(group(failed, 99), "0-0");
}

TEST(RegexpCaptures, KeepSlotsAcrossAttemptsAndCalls) {
    size_t b = 0, e = 0;
    Regexp stale = compile("x(a)y|z");
    ASSERT_TRUE(stale.search("xaz", 3, 0, &b, &e));
    EXPECT_EQ(group(stale, 0), "2-3");
    EXPECT_EQ(group(stale, 1), "1-2");  // from the failed attempt at 0

    Regexp again = compile("b|(a)");
    ASSERT_TRUE(again.search("ab", 2, 0, &b, &e));
    EXPECT_EQ(group(again, 1), "0-1");
    ASSERT_TRUE(again.search("ab", 2, 1, &b, &e));
    EXPECT_EQ(group(again, 0), "1-2");
    EXPECT_EQ(group(again, 1), "0-1");  // the second call never enters group 1
}

TEST(RegexpCaptures, LookaheadTestsRecordGroups) {
    size_t b = 0, e = 0;
    Regexp below = compile("a{2}(a)");
    ASSERT_TRUE(below.match("aaa", 3));
    EXPECT_EQ(group(below, 1), "1-2");  // tested after one repetition, below the minimum

    Regexp usedUp = compile("(ab)+(c)");
    ASSERT_TRUE(usedUp.search("ababc", 5, 0, &b, &e));
    EXPECT_EQ(group(usedUp, 1), "0-2");
    EXPECT_EQ(group(usedUp, 2), "0-0");  // the failing test at 2 used group 2 up

    Regexp inner = compile("((a)|b)+");
    ASSERT_TRUE(inner.match("ba", 2));
    EXPECT_EQ(group(inner, 1), "0-1");
    EXPECT_EQ(group(inner, 2), "0-0");
}

TEST(RegexpQuantifiers, LookPastTheEndOfTheirGroupOutsideAlternatives) {
    EXPECT_EQ(searchIn("(a.*)b", "axbyb"), "0-3");
    EXPECT_EQ(searchIn("(a.*)b|c", "axbyb"), "none");
    EXPECT_EQ(searchIn("a.*b|c", "axbyb"), "0-3");
}

TEST(RegexpCaptures, NonCapturingGroupsTakeNoNumber) {
    Regexp re = compile("(?:a)(b)");
    EXPECT_EQ(re.subexpCount(), 2);
    size_t b = 0, e = 0;
    ASSERT_TRUE(re.search("ab", 2, 0, &b, &e));
    EXPECT_EQ(group(re, 1), "1-2");
}

TEST(RegexpSubjects, MayHoldNulBytes) {
    std::string text("a\0b", 3);
    EXPECT_TRUE(matches("a.b", text));
    EXPECT_EQ(searchIn("b", text), "2-3");
}

}  // namespace
