// Capture slots follow the matcher's own bookkeeping: which group records
// depends on the order groups are entered in, and slots survive failures.
function show(pattern, subject, start) {
    local r = regexp(pattern);
    local groups = start == null ? r.capture(subject) : r.capture(subject, start);
    local text = "";
    foreach (g in groups) text += g.begin + "-" + g.end + " ";
    print(text + "\n");
}
show("(a)|(b)", "b", null);
// expect: 0-1 0-0 0-1 
show("x(a)y|z", "xaz", null);
// expect: 2-3 1-2 
show("((a)|b)+", "ba", null);
// expect: 0-2 0-1 0-0 
show("(ab)+(c)", "ababc", null);
// expect: 0-5 0-2 0-0 
show("(x)|(y)|(z)", "z", null);
// expect: 0-1 0-0 0-0 0-1 
show("x(a)|(b)", "b", null);
// expect: 0-1 0-0 0-0 
show("([a-z]+)(\\d+)", "abc123", null);
// expect: 0-6 0-3 0-0 
show("(\\w+)\\s+(\\w+)", "ab  cd", null);
// expect: 0-6 0-2 0-0 
show("(\\w+)\\s+(\\w+)", "ab cd", null);
// expect: 0-5 0-2 3-5 
show("a{2}(a)", "aaa", null);
// expect: 0-3 1-2 
show("x|(a.*)b", "axbyb", null);
// expect: 1-2 0-5 
show("(a)x|ab", "ab", null);
// expect: 0-2 0-1 
show("x*", "abc", 2);
// expect: 0-0 
local r = regexp("b|(a)");
local s = "ab";
local first = r.capture(s);
local second = r.capture(s, 1);
print(first[1].begin + "-" + first[1].end + " " + second[0].begin + "-" + second[0].end + " "
    + second[1].begin + "-" + second[1].end + "\n");
// expect: 0-1 1-2 0-1
print(regexp("(a.*)b").search("axbyb").end + " " + regexp("(a.*)b|c").search("axbyb") + " "
    + regexp("a*a").search("aaa").end + " " + regexp("x*").search("abc", 2).begin + "\n");
// expect: 3 (null : 0x00000000) 2 2
local m = regexp("(a)(b)?");
print(m.match("ab") + " " + m.match("ac") + " " + m.capture("zab")[2].end + "\n");
// expect: true false 3
