// Text at the ends of the integer range and at heights a Windows game may
// pass: the default (0), a character height (negative) and a huge one.
function onLoad()
{
}

function onProc()
{
	drawText("far&x", 2147483647, 2147483647, 0, 255, 255, 255);
	drawText("near&x", -2147483647 - 1, -2147483647 - 1, -20, 255, 255, 255);
	drawText("huge", 10, 10, 100000, 255, 255, 255);
	drawText("wide", -100, 100, -2147483647 - 1, 255, 255, 255);
}

function onDraw()
{
}

function onUnload()
{
}
