// Error values are exact texts.
function check(f) { try { f(); } catch (e) { print(e + "\n"); } }
check(function() { local x = null; x(); });
// expect: attempt to call 'null'
check(function() { return -{}; });
// expect: attempt to negate a table
check(function() { return ~1.5; });
// expect: attempt to perform a bitwise op on a float
check(function() { return {} + 1; });
// expect: arith op + on between 'table' and 'integer'
check(function() { return "a" < 1; });
// expect: comparsion between 'a' and '1'
check(function() { return [] < []; });
// expect: comparsion between 'array' and 'array'
check(function() { foreach (x in null) {} });
// expect: cannot iterate null
check(function() { return clone 5; });
// expect: cloning a integer
check(function() { delete [1][0]; });
// expect: attempt to delete a slot from a array
check(function() { return [1, 2][5]; });
// expect: the index '5' does not exist
check(function() { class X extends 5 {} });
// expect: trying to inherit from a integer
check(function() { return (1).parent; });
// expect: the integer type doesn't have a parent slot
check(function() { [].pop(); });
// expect: empty array
check(function() { [1].insert(3, 0); });
// expect: idx out of range
check(function() { assert(0); });
// expect: assertion failed
try { throw { code = 7 }; } catch (e) { print(typeof e + " " + e.code + "\n"); }
// expect: table 7
