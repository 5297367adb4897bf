// Compile errors are placed after the current token: the keyword itself
// for a misplaced break or continue, the token after the whole right-hand
// side for assignments to locals and free variables.
function compileFile(name, text) {
    local f = file(name, "wb");
    foreach (c in text) f.writen(c, 'b');
    f = null;
    try { loadfile(name, true); } catch (e) {}
}
compileFile("break.nut", "  break;");
// expect: break.nut line = (1) column = (7) : error 'break' has to be in a loop block
compileFile("continue.nut", "local a\n    continue\n");
// expect: continue.nut line = (2) column = (13) : error 'continue' has to be in a loop block
compileFile("switch.nut", "switch (1) { case 1: continue; }");
// expect: switch.nut line = (1) column = (29) : error 'continue' has to be in a loop block
compileFile("slot.nut", "local x = 0; x <- 12345 ;");
// expect: slot.nut line = (1) column = (25) : error can't 'create' a local slot
compileFile("nextline.nut", "local x = 0\nx <- 1\n\n// note\nprint(x)\n");
// expect: nextline.nut line = (5) column = (6) : error can't 'create' a local slot
compileFile("lastline.nut", "local x = 0\nx <- 1\n");
// expect: lastline.nut line = (3) column = (1) : error can't 'create' a local slot
compileFile("noeol.nut", "local x = 0\nx <- 1");
// expect: noeol.nut line = (2) column = (7) : error can't 'create' a local slot
compileFile("free.nut", "local q = 1; local f = function() : (q) { q = q + 1; }");
// expect: free.nut line = (1) column = (52) : error free variables cannot be modified
compileFile("rhs.nut", "local x = 0; x <- ;");
// expect: rhs.nut line = (1) column = (19) : error expression expected
