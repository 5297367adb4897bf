// Weak references see objects die by reference count or by the collector.
local t = {};
local w = t.weakref();
print((w.ref() == t) + " " + (t.weakref() == w) + " " + (5).weakref() + "\n");
// expect: true true 5
t = null;
print((w.ref() == null) + "\n");
// expect: true
local a = {};
local b = { other = a };
a.other <- b;
local wa = a.weakref();
a = null;
b = null;
print((wa.ref() != null) + " " + collectgarbage() + " " + (wa.ref() == null) + "\n");
// expect: true 1 true
// A weak reference in a container reads as its target (or null once it died).
local keep = [1];
local holder = { r = keep.weakref() };
print(holder.r.len() + "\n");
// expect: 1
keep = null;
print((holder.r == null) + "\n");
// expect: true
class Node { next = null; }
local n1 = Node(), n2 = Node();
n1.next = n2;
n2.next = n1;
local wn = n1.weakref();
n1 = null;
n2 = null;
collectgarbage();
print((wn.ref() == null) + "\n");
// expect: true
