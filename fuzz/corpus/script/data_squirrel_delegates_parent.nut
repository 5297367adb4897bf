// delegate, .parent and the default delegate lookup order.
local base = { greet = function() { return "hi " + name; } };
local obj = delegate base : { name = "obj" };
print(obj.greet() + " " + (obj.parent == base) + " " + ("greet" in obj) + " " + obj.rawin("greet") + "\n");
// expect: hi obj true true false
try { delegate 1 : obj; } catch (e) { print(e + "\n"); }
// expect: using 'integer' as delegate
try { delegate obj : 1; } catch (e) { print(e + "\n"); }
// expect: delegating a 'integer'
try { delegate obj : base; } catch (e) { print(e + "\n"); }
// expect: delegate cycle detected
local w = obj.weakref();
print(typeof w + " " + (w.ref() == obj) + "\n");
// expect: weakref true
local holder = { r = {}.weakref() };
print((holder.r == null) + "\n");
// expect: true
