// Compound assignment on a slot with a local operand, and compares with a
// small integer literal, give what the separate steps give, errors included.
local t = { n = 5, f = 1.5, s = "a", w = null };
local k = "n";
local two = 2;
t[k] += two;
t["f"] *= two;
local ks = "s";
t[ks] += two;
print(t.n + " " + t.f + " " + t.s + "\n");
local arr = [10, 20.5, "x"];
local i = 1;
arr[i] -= two;
i = 2;
arr[i] += two;
print(arr[1] + " " + arr[2] + "\n");
local zero = 0;
try { t[k] %= zero; } catch (e) { print(e + "\n"); }
try { t["missing"] += two; } catch (e) { print(e + "\n"); }
local kw = "w";
try { t[kw] += two; } catch (e) { print(e + "\n"); }
i = 7;
try { arr[i] += two; } catch (e) { print(e + "\n"); }
// A slot found through a delegate is read there; the store into the table
// itself fails and is ignored, as the three steps ignore it.
local base = { d = 40 };
local child = delegate base : {};
local kd = "d";
child[kd] += two;
print(base.d + " " + ("d" in child) + " " + child.d + "\n");
class Box {
	v = 1;
	function _get(key) { return 100; }
	function _set(key, val) { ::print("set " + key + " " + val + "\n"); }
}
local b = Box();
local kv = "v";
b[kv] += two;
local ko = "other";
b[ko] += two;
print(b.v + "\n");
local small = [-129, -128, 0, 2, 127, 128, 1.5, 2.0];
foreach (x in small) {
	local s = "";
	if (x < 2) s += "<";
	if (x <= 2) s += "<=";
	if (x > 2) s += ">";
	if (x >= 2) s += ">=";
	if (x == 2) s += "==";
	if (x != 2) s += "!=";
	if (x < -128) s += " <-128";
	if (x > 127) s += " >127";
	print(x + " " + s + "\n");
}
// Integer order is by the wrapped difference.
local big = 2147483647;
if (big > -5) print("greater\n"); else print("not greater\n");
try { if ("a" >= 1) print("x\n"); } catch (e) { print(e + "\n"); }
if ("a" == 1) print("equal\n"); else print("not equal\n");
local n = 0;
while (n < 5) n++;
print(n + "\n");
// Bitwise operators with an integer literal.
local bits = 0x12345678;
print((bits & 0xFF) + " " + (bits | 7) + " " + (bits ^ -1) + " " + (bits << 35) + " " + (bits >> -1) + " " + (-bits >>> 28) + "\n");
try { print(1.5 & 3); } catch (e) { print(e + "\n"); }
try { print(null << 3); } catch (e) { print(e + "\n"); }
// The output, in order:
// expect: 7 3 a2
// expect: 18.5 x2
// expect: division by zero
// expect: the index 'missing' does not exist
// expect: arith op + on between 'null' and 'integer'
// expect: the index '7' does not exist
// expect: 42 true 42
// expect: set other 102
// expect: 3
// expect: -129 <<=!= <-128
// expect: -128 <<=!=
// expect: 0 <<=!=
// expect: 2 <=>===
// expect: 127 >>=!=
// expect: 128 >>=!= >127
// expect: 1.5 <<=!=
// expect: 2 <=>===
// expect: not greater
// expect: comparsion between 'a' and '1'
// expect: not equal
// expect: 5
// expect: 120 305419903 -305419897 -1851608128 0 14
// expect: bitwise op between 'float' and 'integer'
// expect: bitwise op between 'null' and 'integer'
