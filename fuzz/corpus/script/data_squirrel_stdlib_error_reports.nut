// Reports come from nested executions started with reporting on (call,
// acall, dofile, a thread's start-up), caught or not; constructors and
// pcall make none.
function fails() { throw "from fails"; }
try { fails.call(this); } catch (e) { print("caught " + e + "\n"); }
// expect: 
// expect: AN ERROR HAS OCCURED [from fails]
// expect: 
// expect: CALLSTACK
// expect: *FUNCTION [fails()] error_reports.nut line [4]
// expect: *FUNCTION [call()] NATIVE line [-1]
// expect: *FUNCTION [main()] error_reports.nut line [5]
// expect: 
// expect: LOCALS
// expect: [this] TABLE
// expect: [this] TABLE
// expect: caught from fails
try { fails.pcall(this); } catch (e) { print("pcall " + e + "\n"); }
// expect: pcall from fails
class Inner { constructor(n) { if (n == 0) throw "deep"; Inner(n - 1); } }
class Outer { constructor() { Inner(3); } }
try { Outer(); } catch (e) { print("constructor " + e + "\n"); }
// expect: constructor deep
class Base { constructor() { throw "base"; } }
class Derived extends Base { constructor() { Base.constructor.pcall(this); } }
try { Derived(); } catch (e) { print("base " + e + "\n"); }
// expect: base base
try { Base.instance().constructor(); } catch (e) { print("instance " + e + "\n"); }
// expect: instance base
local strict = newthread(function(a) { return a; });
try { strict.call(); } catch (e) { print("thread " + e + "\n"); }
// expect: 
// expect: AN ERROR HAS OCCURED [wrong number of parameters]
// expect: 
// expect: CALLSTACK
// expect: 
// expect: LOCALS
// expect: thread wrong number of parameters
local quiet = newthread(function() { throw "inside"; });
try { quiet.call(); } catch (e) { print("thread " + e + "\n"); }
// expect: thread inside
// A generator resumed inside a called function is reported with its
// resumer's frames; the step's key is already the new one.
function counter(n) { local q = n; yield q; local z = q / 0; yield z; }
function user() { foreach (v in counter(4)) print(v + "\n"); }
try { user.call(this); } catch (e) { print("caught " + e + "\n"); }
// expect: 4
// expect: 
// expect: AN ERROR HAS OCCURED [division by zero]
// expect: 
// expect: CALLSTACK
// expect: *FUNCTION [counter()] error_reports.nut line [44]
// expect: *FUNCTION [user()] error_reports.nut line [45]
// expect: *FUNCTION [call()] NATIVE line [-1]
// expect: *FUNCTION [main()] error_reports.nut line [46]
// expect: 
// expect: LOCALS
// expect: [q] 4
// expect: [n] 4
// expect: [this] TABLE
// expect: [@ITERATOR@] 1
// expect: [v] 4
// expect: [@INDEX@] 1
// expect: [this] TABLE
// expect: [quiet] THREAD
// expect: [strict] THREAD
// expect: [this] TABLE
// expect: caught division by zero
