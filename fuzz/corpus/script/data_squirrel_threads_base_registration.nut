// newthread registers the base library again into the current root table.
local originalPrint = print;
::print = function(s) { ::originalPrint("replaced: " + s); };
::originalPrint <- originalPrint;
::type = null;
delete ::dummy;
print("before\n");
// expect: replaced: before
newthread(function() {});
print("after " + type(1) + " " + ("dummy" in getroottable()) + "\n");
// expect: after integer true
local root = getroottable();
local fresh = {};
setroottable(fresh);
root.newthread(function() {});
local names = ["seterrorhandler", "setdebughook", "enabledebuginfo", "getstackinfos",
    "getroottable", "setroottable", "assert", "print", "compilestring", "newthread",
    "suspend", "array", "type", "dummy", "collectgarbage", "_version_", "_charsize_",
    "_intsize_"];
local count = 0;
foreach (n in names) if (n in fresh) count++;
setroottable(root);
print(count + " " + fresh.len() + " " + fresh._version_ + "\n");
// expect: 18 18 Squirrel 2.1.1 stable
