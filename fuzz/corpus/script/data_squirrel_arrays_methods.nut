// Array methods: results, return values and the unstable 2.1 quicksort.
local items = [[2, "a"], [1, "b"], [2, "c"], [1, "d"], [3, "e"], [2, "f"], [1, "g"]];
items.sort(function(x, y) { return x[0] - y[0]; });
local tags = "";
foreach (it in items) tags += it[1];
print(tags + "\n");
// expect: bdgcfae
local a = [1, 2, 3];
print(a.append(4) + " " + a.len() + " " + a.pop() + " " + a.top() + "\n");
// expect: (null : 0x00000000) 4 4 3
a.insert(0, 0);
a.insert(4, 9);
print(a.remove(1) + " " + a.len() + " " + a[3] + "\n");
// expect: 1 4 9
local s = a.slice(1, -1);
print(s.len() + " " + s[0] + " " + s[1] + "\n");
// expect: 2 2 3
try { a.slice(2, 2); } catch (e) { print(e + "\n"); }
// expect: wrong indexes
a.resize(6, "x");
a.reverse();
print(a[0] + a[1] + a[5] + " " + typeof array(2)[1] + " " + array(2, 7)[1] + "\n");
// expect: xx0 null 7
local b = [3, "a", 1];
try { b.sort(); } catch (e) { print(e + "\n"); }
// expect: comparsion between 'a' and '3'
try { [3, 1].sort(function(x, y) { throw "no"; }); } catch (e) { print(e + "\n"); }
// expect: compare func failed
local big = [];
foreach (i, v in [5, 4]) big.extend([v, i]);
print(big.len() + " " + big[2] + "\n");
// expect: 4 4
