// Metamethods and natives that run deep script recursion in the middle of an
// instruction: the interrupted frame carries on correctly afterwards.
function deep(n) { return n == 0 ? 0 : 1 + deep(n - 1); }
class P {
    function _get(k) { return ::deep(3000); }
    function _add(o) { return ::deep(3000) + o; }
    function _cmp(o) { ::deep(3000); return 0; }
    function _tostring() { return "P" + ::deep(3000); }
}
local p = P();
local total = 0;
for (local i = 0; i < 3; i++) total += p.anything;
print(total + " " + (p + 1) + " " + (p <= P()) + " " + p + "\n");
// expect: 9000 3001 true P3000
local sorted = [3, 1, 2];
sorted.sort(function(a, b) { deep(3000); return a - b; });
print(sorted[0] + "" + sorted[1] + sorted[2] + "\n");
// expect: 123
