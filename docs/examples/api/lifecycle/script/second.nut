// The second file: a new VM, so the globals of init.nut are gone; the
// data store carries values across.
ticks <- 0;

function onLoad()
{
	print("second.nut: onLoad, frames is " + ("frames" in getroottable() ? "kept" : "gone"));
	print("second.nut: carried is '" + getData("carried") + "'");
}

function onProc()
{
	ticks++;
	print("second.nut: tick " + ticks);
	if (ticks == 2)
		setMainLoopEnd();	// no next file: the game ends
}

function onDraw()
{
}

function onUnload()
{
	print("second.nut: onUnload, the game ends");
}
