// Free variables are copied when the closure is made; nothing else is visible.
local n = 10;
local f = function(x) : (n) { return x + n; };
n = 20;
print(f(1) + "\n");
// expect: 11
local count = 0;
function bump() { count++; }
try { bump(); } catch (e) { print(e + "\n"); }
// expect: the index 'count' does not exist
function sum(...) {
    local s = 0;
    for (local i = 0; i < vargc; i++) s += vargv[i];
    return s;
}
print(sum() + " " + sum(1, 2, 3) + "\n");
// expect: 0 6
try { (function(a) {})(); } catch (e) { print(e + "\n"); }
// expect: wrong number of parameters
function novargs() { return vargv[0]; }
try { novargs(); } catch (e) { print(e + "\n"); }
// expect: the function doesn't have var args
local env = { v = "bound" };
local getv = function() { return v; }.bindenv(env);
print(getv() + " " + getv.call({ v = "other" }) + "\n");
// expect: bound bound
// Unbounded tail recursion reuses the frame.
function loop(i) { if (i == 0) return "done"; return loop(i - 1); }
print(loop(300000) + "\n");
// expect: done
local info = sum.getinfos();
print(info.name + " " + info.parameters.len() + " " + info.varargs + "\n");
// expect: sum 2 true
