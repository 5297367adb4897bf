// Two prints, then a run-time error inside a nested call on the second tick.
function onLoad()
{
	print("one");
	print("two\n");
}

function inner(depth)
{
	local label = "deep";
	return depth + nosuch;
}

function onProc()
{
	if ("ticked" in getroottable()) inner(1);
	::ticked <- true;
}

function onDraw()
{
}

function onUnload()
{
}
