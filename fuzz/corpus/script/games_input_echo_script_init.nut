// Logs the first click with its place and the first press of LEFT, then
// ends.
function onLoad()
{
	::ticks <- 0;
}

function onProc()
{
	ticks += 1;
	if (getMouseLButton() && !("click" in getroottable())) {
		::click <- true;
		print("click " + getMouseX() + " " + getMouseY());
	}
	if (getInputLeft() && !("left" in getroottable())) {
		::left <- true;
		print("left");
	}
	if (ticks == 60) setMainLoopEnd();
}

function onDraw()
{
}

function onUnload()
{
}
