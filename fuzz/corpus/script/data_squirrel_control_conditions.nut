// Conditions mixing short-circuit operators, comparisons and constants.
function pick(a, b, c) {
    local r = "";
    if (a && b < c) r += "A"; else r += "a";
    if (a || b < c) r += "B"; else r += "b";
    while (a && b < c) { b++; r += "w"; }
    r += b + (a ? 1 : 2) + (c - (a ? 1 : 2));
    return r;
}
print(pick(true, 1, 3) + " " + pick(false, 1, 3) + " " + pick(false, 5, 3) + "\n");
// expect: ABww6 aB4 ab8
local s = "x";
try { s - 1; } catch (e) { print(e + "\n"); }
// expect: arith op - on between 'string' and 'integer'
print((s + 1) + " " + (2.5 - 1) + "\n");
// expect: x1 1.5
local n = 0;
for (local i = 10; i > 0; i -= 3) n = n * 10 + i;
print(n + "\n");
// expect: 10741
switch (n % 7) {
    case 1 + 1: print("two\n"); break;
    case 10741 % 7: print("match\n");
    case -1: print("fell through\n"); break;
    default: print("default\n");
}
// expect: match
// expect: fell through
