// foreach over a local steps through the variable itself: what the body
// assigns to it is what the next step reads, at the position reached.
local a = [1, 2];
local out = "";
foreach (i, v in a) { if (i == 0) a = [10, 20, 30, 40]; out += v + " "; }
print(out + "\n");
// expect: 1 20 30 40 
local s = "ab";
out = "";
foreach (i, v in s) { if (i == 0) s += "cd"; out += v + " "; }
print(out + "\n");
// expect: 97 98 99 100 
local short = [1, 2, 3];
out = "";
foreach (v in short) { short = [0]; out += v + " "; }
print(out + "\n");
// expect: 1 
// A parameter and a parenthesised local count too.
function walk(p) { local o = ""; foreach (v in (p)) { p = "xyz"; o += v + ","; } return o; }
print(walk([5, 6, 7]) + "\n");
// expect: 5,121,122,
// Any other container expression is evaluated once.
::global <- [1, 2];
out = "";
foreach (v in ::global) { ::global = [7, 8, 9]; out += v + " "; }
print(out + "\n");
// expect: 1 2 
local holder = { list = [1, 2] };
out = "";
foreach (v in holder.list) { holder.list = [7, 8, 9]; out += v + " "; }
print(out + "\n");
// expect: 1 2 
// Switching kinds reuses the iterator: after element 0 of an array, a
// generator continues with key 2.
function letters() { yield "p"; yield "q"; }
local mixed = [0, 1];
out = "";
foreach (k, v in mixed) { if (k == 0) mixed = letters(); out += k + ":" + v + " "; }
print(out + "\n");
// expect: 0:0 2:p 3:q 4:(null : 0x00000000) 
// A table continues at the same node index of the new table.
local t = { one = 1 };
local count = 0;
foreach (k, v in t) { count++; t = {}; }
print(count + "\n");
// expect: 1
local gen = letters();
out = "";
foreach (k, v in gen) { if (k == 0) gen = letters(); out += k + ":" + v + " "; }
print(out + "\n");
// expect: 0:p 1:p 2:q 3:(null : 0x00000000) 
// A key from _nexti left in the iterator counts as 0 for an array.
class Keys {
    function _nexti(prev) { return prev == null ? "first" : null; }
    function _get(k) { return "got " + k; }
}
local keyed = Keys();
out = "";
foreach (k, v in keyed) { out += k + "=" + v + " "; keyed = [5, 6]; }
print(out + "\n");
// expect: first=got first 0=5 1=6 
