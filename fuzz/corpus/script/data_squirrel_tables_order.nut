// foreach visits table nodes in the order the 2.1 layout puts them.
local t = {};
foreach (k in ["alpha", "beta", "gamma", "delta", "epsilon", "zeta"]) t[k] <- k.len();
local s = "";
foreach (k, v in t) s += k + "=" + v + " ";
print(s + "\n");
// expect: beta=4 epsilon=7 alpha=5 zeta=4 gamma=5 delta=5 
local n = {};
for (local i = 0; i < 10; i++) n[i * 7] <- i;
s = "";
foreach (k, v in n) s += k + " ";
print(s + "\n");
// expect: 0 49 35 21 7 56 42 28 14 63 
delete n[21];
delete n[0];
s = "";
foreach (k, v in clone n) s += k + " ";
print(s + n.len() + "\n");
// expect: 49 35 7 56 42 28 14 63 8
