// =, <-, delete, raw access and the root-table fallback of `this`.
local t = { a = 1 };
t.b <- 2;
try { t.c = 3; } catch (e) { print(e + "\n"); }
// expect: the index 'c' does not exist
print(t.len() + " " + ("a" in t) + " " + t.rawin("c") + " " + t.rawget("b") + "\n");
// expect: 2 true false 2
print(delete t.a + " " + t.len() + " " + t.rawdelete("zz") + "\n");
// expect: 1 1 (null : 0x00000000)
try { t.rawget("a"); } catch (e) { print(e + "\n"); }
// expect: the index doesn't exist
g <- 5;
local o = { function bump() { g = g + 1; return g; } };
print(o.bump() + " " + ::g + "\n");
// expect: 6 6
try { o.missing(); } catch (e) { print(e + "\n"); }
// expect: the index 'missing' does not exist
try { t[null] <- 1; } catch (e) { print(e + "\n"); }
// expect: null cannot be used as index
local k = {};
k[1] <- "int";
k[1.0] <- "float";
print(k.len() + " " + k[1] + " " + k[1.0] + "\n");
// expect: 2 int float
