// The error handler takes a native level like any other execution: an
// error raised at level 100 is not reported there, only further out.
::reports <- 0;
seterrorhandler(function(e) { ::reports++; });
function nest(n) { if (n == 0) throw "bottom"; return ::nest.call(this, n - 1); }
class Probe { function _get(k) { ::nest.call(this, ::depth); } }
// main runs at level 1 and the _get at 2, so nest(0) runs at 4 + 2 * depth.
foreach (d in [47, 48]) {
    ::depth <- d;
    ::reports = 0;
    try { Probe().x; } catch (e) { print(e + " "); }
    print(d + ": " + ::reports + "\n");
}
// expect: the index 'x' does not exist 47: 48
// expect: the index 'x' does not exist 48: 48
// Each thread counts its own levels.
::reports = 0;
local t = newthread(function() { ::depth <- 47; try { Probe().x; } catch (e) {} return ::reports; });
print(t.call() + "\n");
// expect: 48
