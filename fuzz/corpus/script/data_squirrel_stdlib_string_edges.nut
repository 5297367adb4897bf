// String library limits: format directives, strip and split corners, regexp results.
foreach (f in [function() { return format("%ld", 1); }, function() { return format("%", 1); },
        function() { return format("%5"); }, function() { return format("%100s", "x"); },
        function() { return regexp(""); }, function() { return regexp("a|"); },
        function() { return regexp("[a-"); }, function() { return split("a", ""); }]) {
    try {
        print("[" + f() + "]\n");
    } catch (e) {
        print(e + "\n");
    }
}
// expect: invalid format
// expect: invalid format
// expect: not enough paramters for the given format string
// expect: width format too long
// expect: letter expected
// expect: letter expected
// expect: letter expected
// expect: empty separators string
print("[" + format("%e|%g|%5.1f", 1.0, 1.0e20, 2.26) + "]\n");
// expect: [1.000000e+000|1e+020|  2.3]
print("[" + rstrip("   ") + "][" + strip("   ") + "][" + lstrip("\t x ") + "]\n");
// expect: [ ][][x ]
local r = regexp("(\\w+)@(\\w+)");
local c = r.capture("mail: joe@host now");
print(c.len() + " " + c[0].begin + "-" + c[0].end + " " + c[1].begin + "-" + c[1].end + " "
    + c[2].begin + "-" + c[2].end + "\n");
// expect: 3 6-14 6-9 10-14
print((r.capture("nothing") == null) + " " + (r.search("a@b", 3) == null) + " "
    + (r.search("a@b", 99) == null) + " " + (r.search("a@b", -1) == null) + "\n");
// expect: true true true true
print(regexp("a.*b").search("axbyb").end + " " + typeof r + " " + r.subexpcount() + "\n");
// expect: 3 regexp 3
local r2 = clone r;
print(r2.match("x@y") + "\n");
// expect: true
