// Text on the screen: drawText lines queued each tick, and the debug
// console under the frame-rate line.
ticks <- 0;

function onLoad()
{
}

function onProc()
{
	ticks++;
	// text, x, y, height in pixels, red, green, blue (0 to 255)
	drawText("Hello from drawText", 40, 120, 32, 255, 255, 255);
	drawText("14 pixels high, red", 40, 170, 14, 255, 64, 64);
	drawText("24 pixels high, green", 40, 200, 24, 64, 255, 64);
	drawText("two lines:\nthe second one", 40, 240, 20, 128, 160, 255);
	setDebugMsg("tick " + ticks);
	setDebugMsg("a second console line");
}

function onDraw()
{
}

function onUnload()
{
}
