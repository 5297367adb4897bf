// Sees none of the first file's globals; ends the program after one tick.
function onLoad()
{
	print("second onLoad ext=" + ext + " counter=" + ("counter" in getroottable()));
}

function onProc()
{
	print("second onProc");
	setMainLoopEnd();
}

function onDraw()
{
}

function onUnload()
{
	print("second onUnload");
}
