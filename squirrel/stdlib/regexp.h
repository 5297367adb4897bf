// squirrel/stdlib/regexp.h
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sqstd {

// The pattern language of the script `regexp` class. Matching commits to
// the first way each element matches; a quantifier stops as soon as the
// element after it in the same sequence can match, and alternation tries
// the right side only when the whole left side fails. Scripts depend on
// these results, so the matcher must not become a backtracking one.
class Regexp {
public:
    // Compiles `pattern` (length bytes, NULs included). On failure
    // isReady() is false and errorText() holds the script-visible message.
    Regexp(const char* pattern, size_t length);

    bool isReady() const { return ready; }
    const char* errorText() const { return error; }

    // Number of groups including group 0, the whole match.
    int subexpCount() const { return groupCount; }

    // True when the pattern, anchored at 0, ends exactly at `length`.
    bool match(const char* text, size_t length);

    // First match starting at or after `start`: its [begin, end) in
    // *begin and *end. False when there is none, when `start` is at or
    // past the end, or when the pattern failed to compile.
    bool search(const char* text, size_t length, size_t start, size_t* begin, size_t* end);

    // Group `i`'s slot as the last calls left it (see matchGroup): a slot
    // that never recorded, was cleared or holds an empty range gives
    // begin = end = 0.
    void capture(int i, size_t* begin, size_t* end) const;

private:
    enum class Op : uint8_t {
        Char, Any, Class, NegClass, Predef, Bol, Eol, WordBoundary, NotWordBoundary,
        Group, Alternation, Repeat
    };
    struct Node {
        Op op;
        unsigned char ch = 0;   // Char: the byte; Predef: the class letter
        int next = -1;          // following element of the same sequence
        int first = -1;         // Group: body; Class: first range; Repeat: atom
        int count = 0;          // Class: number of ranges; Alternation: branches
        int group = -1;         // Group: capture index, -1 for (?:...)
        int min = 0, max = 0;   // Repeat; kUnbounded as max means no limit
    };
    struct Range {
        bool predefined;        // `low` is then a class letter such as 'd'
        signed char low, high;
    };
    struct Span {
        ptrdiff_t begin = 0, length = 0;
    };

    int newNode(Op op);
    int parseList();
    int parseSequence();
    int parseElement();
    int parseEscape(bool inClass, bool* isPredef);
    int parseClass();
    int parseNumber();
    bool fail(const char* text);

    ptrdiff_t attempt(ptrdiff_t pos);
    ptrdiff_t matchGroup(int group, int body, ptrdiff_t pos, int follower);
    ptrdiff_t matchSequence(int n, ptrdiff_t pos, int follower, bool inAlternative);
    ptrdiff_t matchElement(int n, ptrdiff_t pos, int follower, int lookahead);
    bool classMatches(const Node& node, unsigned char c) const;
    bool atBoundary(ptrdiff_t pos) const;

    std::vector<Node> nodes;
    std::vector<Range> ranges;
    std::vector<int> branches;      // Alternation: sequence heads
    int root = -1;
    int groupCount = 1;
    bool ready = false;
    const char* error = nullptr;

    // Compile state.
    const char* pat = nullptr;
    size_t patLength = 0;
    size_t at = 0;
    int depth = 0;

    // Match state.
    const char* subject = nullptr;
    ptrdiff_t subjectEnd = 0;
    ptrdiff_t rangeStart = 0;
    int nextGroup = 0;
    std::vector<Span> spans;  // one slot per group, kept between calls
};

}  // namespace sqstd
