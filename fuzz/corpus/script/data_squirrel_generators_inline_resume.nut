// Resumes and generator loops run inline: nesting them costs no native
// level, however deep.
function chain(n) {
    if (n == 0) { yield "leaf"; return; }
    local inner = chain(n - 1);
    yield resume inner;
}
print(resume chain(300) + "\n");
// expect: leaf
function nested(n) {
    if (n == 0) { yield 0; return; }
    foreach (v in nested(n - 1)) if (v != null) yield v + 1;
}
local last = null;
foreach (v in nested(200)) if (v != null) last = v;
print(last + "\n");
// expect: 200
// The hidden iterator starts at 0 and counts the resumes.
function two() { yield "a"; yield "b"; }
local seen = "";
foreach (k, v in two()) seen += k + "=" + v + " ";
print(seen + "\n");
// expect: 0=a 1=b 2=(null : 0x00000000) 
function looping() { foreach (v in ::running) yield v; }
::running <- looping();
try { resume ::running; } catch (e) { print(e + "\n"); }
// expect: cannot iterate generator
// A generator that fails dies; the resumer catches the error.
function breaks() { yield 1; throw "broken"; }
local b = breaks();
resume b;
try { resume b; } catch (e) { print(e + " " + b.getstatus() + "\n"); }
// expect: broken dead
// Dropping the last reference while it runs keeps the generator alive.
function dropper() { ::dropped = null; yield "still here"; }
::dropped <- dropper();
print(resume ::dropped + "\n");
// expect: still here
// `return f()` in a generator is an ordinary call.
function plain(x) { return x * 2; }
function tailing() { yield 1; return plain(21); }
local t = tailing();
resume t;
print(resume t + " " + t.getstatus() + "\n");
// expect: 42 dead
// A generator function started as its own execution is a plain function.
function gen(a) { if (a) return "no yield"; yield 1; }
print(gen.call(this, true) + "\n");
// expect: no yield
foreach (how in [function() { return gen.call(this, false); },
        function() { return gen.pcall(this, false); },
        function() { return gen.acall([this, false]); },
        function() { return gen.pacall([this, false]); },
        function() { return [2, 1].sort(gen); }]) {
    try { how(); } catch (e) { print(e + "\n"); }
}
// expect: trying to yield a 'null',only genenerator can be yielded
// expect: trying to yield a 'null',only genenerator can be yielded
// expect: trying to yield a 'null',only genenerator can be yielded
// expect: trying to yield a 'null',only genenerator can be yielded
// expect: compare func failed
local meta = { _add = function(o) { yield o; } };
local wrapped = delegate meta : {};
try { wrapped + 1; } catch (e) { print(e + "\n"); }
// expect: arith op + on between 'table' and 'integer'
function returnsGen() { return gen(false); }
print(typeof returnsGen() + "\n");
// expect: generator
