// An untextured quad moved by the arrow keys, text, and the debug console:
// run headless with input.txt and compared with a golden screenshot.
function onLoad()
{
	::x <- 100;
	setCameraIti(0.0, 5.0, -20.0);
	setCameraSiten(0.0, 0.0, 0.0);
}

function onProc()
{
	if (getInputRight()) x += 5;
	if (getInputLeft()) x -= 5;
	drawText("x " + x + " \x88\xda\x93\xae", 10, 400, 20, 255, 255, 0);
	if (getInputButton(0)) setDebugMsg("button 0");
}

function onDraw()
{
	drawTextureFirst(-1, x, 200, 64, 32, 30, 0, 0, 0, 0, 1.0, 0.5, 0.0, 1.0, 0.5, 0.5);
	drawTextureLast(-1, 320, 300, 100, 20, 0, 0, 0, 0, 0, 0.0, 0.5, 1.0, 1.0, 0.0, 0.0);
}

function onUnload()
{
}
