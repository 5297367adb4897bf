// Reads a table slot that is missing on the first tick, so the error report
// shows this file's lines and locals.
function describe(table, key)
{
	local label = "item";
	return label + " " + table[key];
}

function onLoad()
{
	print("second onLoad");
}

function onProc()
{
	print(describe({ name = "lamp" }, "name"));
	print(describe({ name = "lamp" }, "size"));
}

function onDraw()
{
}

function onUnload()
{
	print("second onUnload");
}
