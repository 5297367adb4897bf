// compilestring raises the bare compiler message.
function tryCompile(src) {
    try { compilestring(src); print("ok\n"); } catch (e) { print(e + "\n"); }
}
tryCompile("x = ;");
// expect: expression expected
tryCompile("local a = 1 local b = 2");
// expect: end of statement expected (; or lf)
tryCompile("break;");
// expect: 'break' has to be in a loop block
tryCompile("local function f() {}");
// expect: expected 'IDENTIFIER'
tryCompile("# comment");
// expect: expression expected
tryCompile("local s = \"abc");
// expect: unfinished string
tryCompile("local x = 1e5;");
// expect: invalid numeric format
tryCompile("local x = 0x123456789;");
// expect: too many digits for an Hex number
tryCompile("local x = '';");
// expect: empty constant
tryCompile("local a = 1; a <- 2;");
// expect: can't 'create' a local slot
tryCompile("local f = function() : (q) { q = 1; };");
// expect: free variables cannot be modified
tryCompile("local a; delete a;");
// expect: cannot delete a local
tryCompile("if (a) { b() } c()");
// expect: end of statement expected (; or lf)
tryCompile("function f() { if (a) b(); c() }");
// expect: ok
tryCompile("x.parent = 1;");
// expect: parent cannot be set
tryCompile("a..b");
// expect: invalid token '..'
local deep = "";
for (local i = 0; i < 1000; i++) deep += "[";
tryCompile(deep);
// expect: internal compiler error: nesting too deep
print(compilestring("return 1 + 2;")() + "\n");
// expect: 3
