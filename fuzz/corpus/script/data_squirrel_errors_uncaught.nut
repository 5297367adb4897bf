// An uncaught error ends the script; output printed before it stays.
print("before\n");
// expect: before
local t = {};
t.missing.x;
print("never\n");
// expect error: the index 'missing' does not exist
