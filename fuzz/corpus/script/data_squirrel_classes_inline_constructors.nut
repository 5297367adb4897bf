// Constructors run as ordinary frames of the constructing code: nesting
// costs no native level, and their errors are ordinary errors there.
class Node {
    child = null;
    constructor(n) { if (n > 0) child = Node(n - 1); }
}
local n = Node(300);
local depth = 0;
while (n.child) { n = n.child; depth++; }
print(depth + "\n");
// expect: 300
class Deep { constructor(n) { if (n > 0) Deep(n - 1); else throw "bottom " + n; } }
try { Deep(250); } catch (e) { print(e + "\n"); }
// expect: bottom 0
class Ret { x = 1; constructor() { x = 2; return 99; } }
print(Ret().x + " " + typeof Ret() + "\n");
// expect: 2 instance
function make() { return Ret(); }
print(make().x + "\n");
// expect: 2
class Tail { v = 0; constructor(a) { v = a; return make(); } }
print(Tail(5).v + "\n");
// expect: 5
try { Ret(1); } catch (e) { print(e + "\n"); }
// expect: wrong number of parameters
class Gen { constructor(a) { yield a; } }
print(typeof Gen(1) + "\n");
// expect: instance
try { Gen(); } catch (e) { print(e + "\n"); }
// expect: wrong number of parameters
class Base { tag = "unset"; constructor(t) { tag = t; if (t == "bad") throw "base failed"; } }
class Derived extends Base {
    constructor(t) {
        try { Base.constructor.pcall(this, t); } catch (e) { tag = "caught " + e; }
    }
}
print(Derived("ok").tag + " / " + Derived("bad").tag + "\n");
// expect: ok / caught base failed
local bare = Base.instance();
print(bare.tag + "\n");
// expect: unset
try { bare.constructor("bad"); } catch (e) { print(e + " " + bare.tag + "\n"); }
// expect: base failed bad
