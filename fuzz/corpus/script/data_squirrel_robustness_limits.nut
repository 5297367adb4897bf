// Runaway recursion and nested natives end with catchable errors.
function down(n) { return 1 + down(n + 1); }
try { down(0); } catch (e) { print(e + "\n"); }
// expect: stack overflow
function viaCall(n) { return viaCall.call(this, n + 1); }
try { viaCall(0); } catch (e) { print(e + "\n"); }
// expect: Native stack overflow
// Descending input is the partition scheme's worst case: deepest nesting.
local sorted = [];
for (local i = 5000; i > 0; i--) sorted.append(i);
sorted.sort();
print(sorted[0] + " " + sorted[4999] + "\n");
// expect: 1 5000
// A long delegate chain is walked without deep C++ recursion.
local top = { bottom = "found" };
for (local i = 0; i < 100000; i++) top = delegate top : {};
print(top.bottom + " " + ("bottom" in top) + " " + top.len() + "\n");
// expect: found true 0
top.bottom = "set";
print(top.parent.parent.bottom.len() + "\n");
// expect: 3
try { top.nowhere; } catch (e) { print(e + "\n"); }
// expect: the index 'nowhere' does not exist
top = null;
local chain = null;
for (local i = 0; i < 200000; i++) chain = { next = chain };
chain = null;
local a = [];
a.append(a);
a = null;
print(collectgarbage() + "\n");
// expect: 1
