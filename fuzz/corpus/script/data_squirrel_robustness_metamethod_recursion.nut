// A _get that reads an unqualified name asks itself again; the nesting
// limit ends the chain and the script sees the ordinary missing slot.
class Loop { function _get(k) { return undefinedName; } }
try { print(Loop().x + "\n"); } catch (e) { print(e + "\n"); }
// expect: the index 'x' does not exist
local t = delegate { _get = function(k) { return missing + k; } } : {};
try { print(t.y + "\n"); } catch (e) { print(e + "\n"); }
// expect: the index 'y' does not exist
// Removing shifts the rest down in order, at every position.
local a = [0, 1, 2, 3, 4, 5];
a.remove(0);
a.remove(2);
a.remove(a.len() - 1);
local text = "";
foreach (v in a) text += v;
print(text + " " + a.len() + "\n");
// expect: 124 3
try { a.remove(3); } catch (e) { print(e + "\n"); }
// expect: idx out of range
