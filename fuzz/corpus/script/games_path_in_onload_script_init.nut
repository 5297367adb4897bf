// A path named in onLoad is forgotten when the load ends, so the end
// request finishes the program instead of switching.
function onLoad()
{
	setNextFilePath("script\\never.nut");
}

function onProc()
{
	setMainLoopEnd();
}

function onDraw()
{
}

function onUnload()
{
	print("unloaded");
}
