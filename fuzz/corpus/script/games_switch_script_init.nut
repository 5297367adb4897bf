// Moves on to a second file after the first tick of onProc.
function onLoad()
{
	::counter <- 0;
	print("init onLoad");
}

function onProc()
{
	counter++;
	print("init onProc " + counter);
	if (counter == 1) {
		setNextFilePath("script\\second.nut");
		setMainLoopEnd();
	}
}

function onDraw()
{
}

function onUnload()
{
	print("init onUnload");
}
