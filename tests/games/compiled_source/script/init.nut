// Counts ticks, moves a quad with the count, then switches to the second file.
function onLoad()
{
	::counter <- 0;
	print("init onLoad");
}

function onProc()
{
	counter++;
	print("init onProc " + counter);
	if (counter == 3) {
		setNextFilePath("script\\second.nut");
		setMainLoopEnd();
	}
}

function onDraw()
{
	drawTextureFirst(-1, counter * 40, 100, 64, 32, 0, 0, 0, 0, 0, 1.0, 0.5, 0.0, 1.0, 0.5, 0.5);
}

function onUnload()
{
	print("init onUnload");
}
