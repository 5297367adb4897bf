#include "squirrel/stdlib/regexp.h"

#include <cassert>

#include "squirrel/stdlib/messages.h"

namespace sqstd {

namespace {

constexpr int kUnbounded = 0xFFFF;
// Nesting of groups in a pattern, and of node calls while matching. Deeper
// patterns would only exhaust the C stack; none of the games come close.
constexpr int kMaxGroupDepth = 200;
constexpr int kMaxMatchDepth = 2000;
constexpr int kMaxNumberDigits = 9;

// Predefined classes look at bytes as signed characters: bytes from 0x80
// up belong to none of them, complements included.
bool isSpaceByte(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool predefMatches(unsigned char letter, unsigned char c) {
    if (c >= 0x80) return false;
    bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    bool digit = c >= '0' && c <= '9';
    switch (letter) {
    case 'a': return alpha;
    case 'A': return !alpha;
    case 'w': return alpha || digit || c == '_';
    case 'W': return !(alpha || digit || c == '_');
    case 's': return isSpaceByte(c);
    case 'S': return !isSpaceByte(c);
    case 'd': return digit;
    case 'D': return !digit;
    case 'x': return digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    case 'X': return !(digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
    case 'c': return c < 0x20 || c == 0x7F;
    case 'C': return !(c < 0x20 || c == 0x7F);
    case 'p': return c > 0x20 && c < 0x7F && !alpha && !digit;
    case 'P': return !(c > 0x20 && c < 0x7F && !alpha && !digit);
    case 'l': return c >= 'a' && c <= 'z';
    case 'u': return c >= 'A' && c <= 'Z';
    default: return false;
    }
}

bool isPredefLetter(char c) {
    switch (c) {
    case 'a': case 'A': case 'w': case 'W': case 's': case 'S': case 'd': case 'D':
    case 'x': case 'X': case 'c': case 'C': case 'p': case 'P': case 'l': case 'u':
        return true;
    default:
        return false;
    }
}

char controlEscape(char c) {
    switch (c) {
    case 'n': return '\n';
    case 't': return '\t';
    case 'r': return '\r';
    case 'f': return '\f';
    case 'v': return '\v';
    default: return c;
    }
}

bool isStopChar(char c) {
    return c == '|' || c == ')' || c == '*' || c == '+';
}

}  // namespace

Regexp::Regexp(const char* pattern, size_t length) : pat(pattern), patLength(length) {
    root = parseList();
    if (root >= 0 && at < patLength) fail(kUnexpectedCharacter);
    ready = error == nullptr;
    pat = nullptr;
    spans.resize(size_t(groupCount));
}

bool Regexp::fail(const char* text) {
    if (!error) error = text;
    return false;
}

int Regexp::newNode(Op op) {
    Node node;
    node.op = op;
    nodes.push_back(node);
    return int(nodes.size()) - 1;
}

// list -> sequence ('|' sequence)*
int Regexp::parseList() {
    std::vector<int> heads;
    for (;;) {
        int head = parseSequence();
        if (head < 0) return -1;
        heads.push_back(head);
        if (at < patLength && pat[at] == '|') {
            ++at;
            continue;
        }
        break;
    }
    if (heads.size() == 1) return heads[0];
    int n = newNode(Op::Alternation);
    nodes[n].first = int(branches.size());
    nodes[n].count = int(heads.size());
    branches.insert(branches.end(), heads.begin(), heads.end());
    return n;
}

// sequence -> '^'? element element*   (ends before '|', ')', '*', '+')
int Regexp::parseSequence() {
    int head = -1, tail = -1;
    if (at < patLength && pat[at] == '^') {
        ++at;
        head = tail = newNode(Op::Bol);
    }
    do {
        int element = parseElement();
        if (element < 0) return -1;
        if (tail >= 0) nodes[tail].next = element; else head = element;
        tail = element;
    } while (at < patLength && !isStopChar(pat[at]));
    return head;
}

// element -> atom quantifier?
// atom -> '(' ('?:')? list ')' | '[' class | '\' escape | '.' | '$' | printable
// quantifier -> '*' | '+' | '?' | '{' number (',' number?)? '}'
int Regexp::parseElement() {
    if (at >= patLength) return fail(kLetterExpected), -1;
    int n = -1;
    unsigned char c = pat[at];
    switch (c) {
    case '(': {
        ++at;
        if (++depth > kMaxGroupDepth) return fail(kPatternTooComplex), -1;
        int group = -1;
        if (at < patLength && pat[at] == '?') {
            ++at;
            if (at >= patLength || pat[at] != ':') return fail(kExpectedParen), -1;
            ++at;
        } else {
            group = groupCount++;
        }
        n = newNode(Op::Group);
        nodes[n].group = group;
        int body = parseList();
        if (body < 0) return -1;
        if (at >= patLength || pat[at] != ')') return fail(kExpectedParen), -1;
        ++at;
        --depth;
        nodes[n].first = body;
        break;
    }
    case '[':
        ++at;
        n = parseClass();
        break;
    case '\\': {
        ++at;
        bool predef = false;
        n = parseEscape(false, &predef);
        break;
    }
    case '.':
        ++at;
        n = newNode(Op::Any);
        break;
    case '$':
        ++at;
        n = newNode(Op::Eol);
        break;
    default:
        if (c < 0x20 || c >= 0x7F) return fail(kLetterExpected), -1;
        ++at;
        n = newNode(Op::Char);
        nodes[n].ch = c;
        break;
    }
    if (n < 0 || at >= patLength) return n;

    int min = 0, max = 0;
    switch (pat[at]) {
    case '*': min = 0; max = kUnbounded; ++at; break;
    case '+': min = 1; max = kUnbounded; ++at; break;
    case '?': min = 0; max = 1; ++at; break;
    case '{':
        ++at;
        if (at >= patLength || pat[at] < '0' || pat[at] > '9') return fail(kNumberExpected), -1;
        min = parseNumber();
        if (min < 0) return -1;
        if (at < patLength && pat[at] == '}') {
            max = min;
        } else if (at < patLength && pat[at] == ',') {
            ++at;
            max = kUnbounded;
            if (at < patLength && pat[at] >= '0' && pat[at] <= '9') {
                max = parseNumber();
                if (max < 0) return -1;
            }
            if (at >= patLength || pat[at] != '}') return fail(kExpectedParen), -1;
        } else {
            return fail(kCommaOrBraceExpected), -1;
        }
        ++at;
        break;
    default:
        return n;
    }
    int repeat = newNode(Op::Repeat);
    nodes[repeat].first = n;
    nodes[repeat].min = min;
    nodes[repeat].max = max;
    return repeat;
}

// Counts above 65535 mean "no limit", as 65535 itself does.
int Regexp::parseNumber() {
    int digits = 0;
    long value = 0;
    while (at < patLength && pat[at] >= '0' && pat[at] <= '9') {
        if (++digits > kMaxNumberDigits) return fail(kNumberOverflow), -1;
        value = value * 10 + (pat[at] - '0');
        ++at;
    }
    return value > kUnbounded ? kUnbounded : int(value);
}

// After the backslash. Outside a class gives a node; inside a class gives
// the literal byte, or the class letter with *isPredef set.
int Regexp::parseEscape(bool inClass, bool* isPredef) {
    *isPredef = false;
    if (at >= patLength) return fail(kLetterExpected), -1;
    char c = pat[at++];
    if (isPredefLetter(c)) {
        *isPredef = true;
        if (inClass) return (unsigned char)c;
        int n = newNode(Op::Predef);
        nodes[n].ch = (unsigned char)c;
        return n;
    }
    if (!inClass && (c == 'b' || c == 'B')) {
        return newNode(c == 'b' ? Op::WordBoundary : Op::NotWordBoundary);
    }
    char literal = controlEscape(c);
    if (inClass) return (unsigned char)literal;
    int n = newNode(Op::Char);
    nodes[n].ch = (unsigned char)literal;
    return n;
}

// class -> '^'? item+ ']'    item -> char ('-' anybyte)? | '\' escape
// A pattern that ends inside a class lacks a letter, not a bracket.
int Regexp::parseClass() {
    bool negated = false;
    if (at < patLength && pat[at] == '^') {
        negated = true;
        ++at;
    }
    if (at < patLength && pat[at] == ']') return fail(kEmptyClass), -1;
    int first = int(ranges.size());
    for (;;) {
        if (at >= patLength) return fail(kLetterExpected), -1;
        if (pat[at] == ']') {
            ++at;
            break;
        }
        signed char low;
        if (pat[at] == '\\') {
            ++at;
            bool predef = false;
            int value = parseEscape(true, &predef);
            if (value < 0) return -1;
            if (predef) {
                if (at < patLength && pat[at] == '-') {
                    return fail(kClassInRange), -1;
                }
                ranges.push_back({true, (signed char)value, (signed char)value});
                continue;
            }
            low = (signed char)value;
        } else {
            low = (signed char)pat[at++];
        }
        signed char high = low;
        if (at < patLength && pat[at] == '-') {
            ++at;
            if (at >= patLength) return fail(kLetterExpected), -1;
            high = (signed char)pat[at++];
        }
        ranges.push_back({false, low, high});
    }
    int n = newNode(negated ? Op::NegClass : Op::Class);
    nodes[n].first = first;
    nodes[n].count = int(ranges.size()) - first;
    return n;
}

bool Regexp::classMatches(const Node& node, unsigned char c) const {
    for (int i = 0; i < node.count; ++i) {
        const Range& r = ranges[size_t(node.first + i)];
        if (r.predefined) {
            if (predefMatches((unsigned char)r.low, c)) return true;
        } else if ((signed char)c >= r.low && (signed char)c <= r.high) {
            return true;
        }
    }
    return false;
}

// A boundary is where a space and a non-space meet between `pos` and the
// byte after it (the byte past the end reads as NUL), or at either end of
// the searched range next to a non-space.
bool Regexp::atBoundary(ptrdiff_t pos) const {
    auto space = [&](ptrdiff_t i) {
        return i < subjectEnd && isSpaceByte((unsigned char)subject[i]);
    };
    if (pos == rangeStart && pos < subjectEnd && !space(pos)) return true;
    if (pos == subjectEnd && pos > rangeStart && !space(pos - 1)) return true;
    if (pos < subjectEnd && space(pos) != space(pos + 1)) return true;
    return false;
}

// Capture slots follow one counter, the next group to record, set to 0
// at the start of every attempt. A group entered while the counter holds its
// number records there (and advances the counter); any other entry leaves
// its slot alone. Only a failure inside the recording group's own body
// clears the slot; nothing else does, so a slot left by an earlier attempt
// or call shows through when no later attempt records that group.
ptrdiff_t Regexp::matchGroup(int group, int body, ptrdiff_t pos, int follower) {
    bool records = group >= 0 && group == nextGroup;
    if (records) {
        ++nextGroup;
        spans[size_t(group)] = {pos, 0};
    }
    ptrdiff_t end = matchSequence(body, pos, follower, false);
    if (records) spans[size_t(group)] = end < 0 ? Span() : Span{pos, end - pos};
    return end;
}

// The elements of a sequence each commit to their first match. `follower`
// is the element after the sequence; inside an alternative no element has
// a follower.
ptrdiff_t Regexp::matchSequence(int n, ptrdiff_t pos, int follower, bool inAlternative) {
    for (; n >= 0; n = nodes[size_t(n)].next) {
        int next = nodes[size_t(n)].next;
        int f = inAlternative ? -1 : next >= 0 ? next : follower;
        pos = matchElement(n, pos, f, next >= 0 ? next : follower);
        if (pos < 0) return -1;
    }
    return pos;
}

// `follower` is what a group passes on to its last element; `lookahead` is
// what a quantifier checks after each repetition to know where to stop.
ptrdiff_t Regexp::matchElement(int n, ptrdiff_t pos, int follower, int lookahead) {
    struct DepthGuard {
        int& d;
        explicit DepthGuard(int& depthRef) : d(depthRef) { ++d; }
        ~DepthGuard() { --d; }
    } guard(depth);
    if (depth > kMaxMatchDepth) return -1;

    const Node node = nodes[size_t(n)];
    bool more = pos < subjectEnd;
    unsigned char c = more ? (unsigned char)subject[pos] : 0;
    switch (node.op) {
    case Op::Char: return more && c == node.ch ? pos + 1 : -1;
    case Op::Any: return more ? pos + 1 : -1;
    case Op::Class: return more && classMatches(node, c) ? pos + 1 : -1;
    case Op::NegClass: return more && !classMatches(node, c) ? pos + 1 : -1;
    case Op::Predef: return more && predefMatches(node.ch, c) ? pos + 1 : -1;
    case Op::Bol: return pos == rangeStart ? pos : -1;
    case Op::Eol: return pos == subjectEnd ? pos : -1;
    case Op::WordBoundary: return atBoundary(pos) ? pos : -1;
    case Op::NotWordBoundary: return atBoundary(pos) ? -1 : pos;
    case Op::Group: return matchGroup(node.group, node.first, pos, follower);
    case Op::Alternation:
        for (int i = 0; i < node.count; ++i) {
            ptrdiff_t end = matchSequence(branches[size_t(node.first + i)], pos, -1, true);
            if (end >= 0) return end;
        }
        return -1;
    case Op::Repeat: {
        // The test of the lookahead element runs after every repetition,
        // below the minimum too, because it may record captures.
        bool test = false;
        if (lookahead >= 0) {
            const Node& ahead = nodes[size_t(lookahead)];
            test = !(ahead.op == Op::Repeat && ahead.min == 0);
        }
        int count = 0;
        ptrdiff_t p = pos;
        while (node.max == kUnbounded || count < node.max) {
            ptrdiff_t q = matchElement(node.first, p, lookahead, lookahead);
            if (q < 0) break;
            ++count;
            bool moved = q != p;
            p = q;
            if (test) {
                int aheadNext = nodes[size_t(lookahead)].next;
                bool found = matchElement(lookahead, p, aheadNext, aheadNext) >= 0;
                if (found && count >= node.min) break;
            }
            // An atom that matched nothing would match nothing forever.
            if (p >= subjectEnd || !moved) break;
        }
        return count >= node.min ? p : -1;
    }
    }
    assert(false);
    return -1;
}

// One attempt: the whole pattern is group 0.
ptrdiff_t Regexp::attempt(ptrdiff_t pos) {
    nextGroup = 0;
    depth = 0;
    return matchGroup(0, root, pos, -1);
}

bool Regexp::match(const char* text, size_t length) {
    if (!ready) return false;
    subject = text;
    subjectEnd = ptrdiff_t(length);
    rangeStart = 0;
    return attempt(0) == subjectEnd;
}

bool Regexp::search(const char* text, size_t length, size_t start, size_t* begin, size_t* end) {
    if (!ready || start >= length) return false;
    subject = text;
    subjectEnd = ptrdiff_t(length);
    rangeStart = ptrdiff_t(start);
    for (ptrdiff_t p = rangeStart; p < subjectEnd; ++p) {
        ptrdiff_t stop = attempt(p);
        if (stop >= 0) {
            *begin = size_t(p);
            *end = size_t(stop);
            return true;
        }
    }
    return false;
}

void Regexp::capture(int i, size_t* begin, size_t* end) const {
    *begin = *end = 0;
    if (i < 0 || i >= groupCount) return;
    const Span& span = spans[size_t(i)];
    if (span.length <= 0) return;
    *begin = size_t(span.begin);
    *end = size_t(span.begin + span.length);
}

}  // namespace sqstd
