// Runaway recursion andÿe chain is walked without deep C++ recursion.
local top = { bottom = "found" };
for (local i = 0; i < 100000; i++) top = delegate top : {};
print(top.bottom + " " + ("bottom" in top) + " " + top.len() + "\n");
// expect: found true 0
top.bottom = "set";
print(top.parent.parent.bottom.len() + "\n");
// expect: 3
try { top.nowhere; } catch (e) { print(e + "\n"); }
// expec = null;
local chain = null;
for (local i = 0; i < 200000; i++) chain = { next = chain };
chain = null;
local a = [];
a.append(a);
a = null;
print(collectgarbage() + "\n");
// expect: 1
