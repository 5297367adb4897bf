// Threads run on their own stack and hand values back through suspend.
local t = newthread(function(a) {
    local got = suspend(a + 1);
    got = suspend(got * 2);
    return "end " + got;
});
print(t.getstatus() + " " + t.call(1) + " " + t.getstatus() + "\n");
// expect: idle 2 suspended
print(t.wakeup(5) + " " + t.wakeup("x") + " " + t.getstatus() + "\n");
// expect: 10 end x idle
try { t.wakeup(); } catch (e) { print(e + "\n"); }
// expect: cannot wakeup a idle thread
local u = newthread(function() { [1, 2].sort(function(a, b) { suspend(0); return 0; }); });
try { u.call(); } catch (e) { print("through native: " + (e != null) + "\n"); }
// expect: through native: true
