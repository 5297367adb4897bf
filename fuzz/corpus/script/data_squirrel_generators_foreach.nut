// Generators: resume, status, and foreach's extra final iteration.
function count(n) { for (local i = 0; i < n; i++) yield i; return -1; }
local g = count(2);
print(resume g + " " + resume g + " " + resume g + " " + g.getstatus() + "\n");
// expect: 0 1 -1 dead
try { resume g; } catch (e) { print(e + "\n"); }
// expect: resuming dead generator
local s = "";
foreach (i, v in count(3)) s += i + ":" + v + " ";
print(s + "\n");
// expect: 0:0 1:1 2:2 3:-1 
try { resume 5; } catch (e) { print(e + "\n"); }
// expect: trying to resume a 'integer',only genenerator can be resumed
function failing() { yield 1; throw "inside"; }
local f = failing();
resume f;
try { resume f; } catch (e) { print(e + " " + f.getstatus() + "\n"); }
// expect: inside dead
