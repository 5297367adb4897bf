// No onUnload: the switch still happens, after one "onUnload" box.
function onLoad()
{
	print("first");
	setNextFilePath("script\\next.nut");
}

function onProc()
{
	setNextFilePath("script\\next.nut");
	setMainLoopEnd();
}

function onDraw()
{
}
