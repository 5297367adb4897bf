// The debug hook sees script calls and returns, with `this` the root table.
function inner(x) {
    return x * 2;
}
function outer(x) {
    local y = inner(x);
    return y + 1;
}
local log = [];
setdebughook(function(event, src, line, name) : (log) {
    log.append(event.tochar() + " " + name + " " + line);
});
outer(1);
[3, 1, 2].sort();
setdebughook(null);
foreach (entry in log) print(entry + "\n");
// expect: c outer 6
// expect: c inner 3
// expect: r inner 3
// expect: r outer 7
