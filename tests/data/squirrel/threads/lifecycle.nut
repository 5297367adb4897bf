// Suspending from inline frames, and what a second call of a thread does.
function pairs() { local got = suspend("in generator"); yield got; yield "second"; }
class Waiter { note = null; constructor() { note = suspend("in constructor"); } }
local t = newthread(function() {
    local out = "";
    foreach (v in pairs()) out += v + ",";
    return out + Waiter().note;
});
print(t.call() + "\n");
// expect: in generator
print(t.wakeup("woken") + "\n");
// expect: in constructor
print(t.wakeup("built") + " " + t.getstatus() + "\n");
// expect: woken,second,(null : 0x00000000),built idle
local direct = newthread(function() {
    local g = pairs();
    return resume g;
});
print(direct.call() + " " + direct.getstatus() + " " + direct.wakeup("back") + "\n");
// expect: in generator suspended back
// Anything run as its own execution cannot suspend the thread.
local nested = newthread(function() {
    local viaCall = function() { return suspend(1); };
    try { viaCall.call(this); } catch (e) { return e; }
});
print(nested.call() + "\n");
// expect: cannot suspend through native calls/metamethods
// After returning, the thread calls what its function returned.
local outer = newthread(function(a) { return function(b) { return "inner got " + b; }; });
print(typeof outer.call(1) + " " + outer.call(2) + " " + outer.getstatus() + "\n");
// expect: function inner got 2 idle
local plain = newthread(function() { return 5; });
plain.call();
try { assert(false); } catch (e) {}
try { plain.call(); } catch (e) { print("returned value: " + e + "\n"); }
// expect: returned value: assertion failed
// After a failure the function runs again from the start.
local counter = newthread(function() { ::runs <- (::runs + 1); throw "run " + ::runs; });
::runs <- 0;
try { counter.call(); } catch (e) { print(e + "\n"); }
try { counter.call(); } catch (e) { print(e + "\n"); }
// expect: run 1
// expect: run 2
// Finished during wakeup: nothing is left to call.
local woken = newthread(function() { suspend(0); return 1; });
woken.call();
woken.wakeup();
try { assert(false); } catch (e) {}
try { woken.call(); } catch (e) { print("emptied: " + e + "\n"); }
// expect: emptied: assertion failed
// A function that cannot start stays in place for a later call.
local strict = newthread(function(a, b) { return a * b; });
try { strict.call(1); } catch (e) { print(e + " " + strict.getstatus() + "\n"); }
// expect: wrong number of parameters idle
print(strict.call(6, 7) + "\n");
// expect: 42
// A generator function run by a thread is a plain function.
local yielding = newthread(function(early) { if (early) return "returned"; yield 1; });
print(yielding.call(true) + "\n");
// expect: returned
local yielding2 = newthread(function(early) { if (early) return "returned"; yield 1; });
try { yielding2.call(false); } catch (e) { print(e + "\n"); }
// expect: trying to yield a 'null',only genenerator can be yielded
try { newthread(print); } catch (e) { print(e + "\n"); }
// expect: newthread expects a script function
// Threads running inside threads are bounded as a whole.
function spawn(n) { if (n == 0) return 0; local t = newthread(::spawn); return 1 + t.call(n - 1); }
print(spawn(16) + "\n");
// expect: 16
try { spawn(100000); } catch (e) { print(e + "\n"); }
// expect: Native stack overflow
