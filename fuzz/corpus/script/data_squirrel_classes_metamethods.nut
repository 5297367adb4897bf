// Metamethods; a metamethod that raises counts as absent.
class V {
    x = 0;
    constructor(x_) { x = x_; }
    function _add(o) { return V(x + o.x); }
    function _cmp(o) { return x - o.x; }
    function _tostring() { return "V(" + x + ")"; }
    function _typeof() { return "vec"; }
    function _get(k) { if (k == "twice") return x * 2; throw "no"; }
    function _call(self, a) { return x + a; }
}
local a = V(1), b = V(2);
print((a + b) + " " + (a < b) + " " + typeof a + " " + a.twice + " " + a(10) + "\n");
// expect: V(3) true vec 2 11
try { a.nothing; } catch (e) { print(e + "\n"); }
// expect: the index 'nothing' does not exist
try { 5 + a; } catch (e) { print(e + "\n"); }
// expect: arith op + on between 'integer' and 'instance'
local list = [V(3), V(1), V(2)];
list.sort();
print(list[0] + "" + list[1] + list[2] + "\n");
// expect: V(1)V(2)V(3)
local proto = { _add = function(o) { return "added"; }, _newslot = function(k, v) { ::log <- k; } };
local t = delegate proto : {};
t.fresh <- 1;
print((t + 1) + " " + ::log + " " + ("fresh" in t) + "\n");
// expect: added fresh false
local c = clone a;
c.x = 9;
print(a + " " + c + "\n");
// expect: V(1) V(9)
