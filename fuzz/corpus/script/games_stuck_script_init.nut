// A callback that never returns, from the third tick on: only the
// watchdog ends this run.
function onLoad()
{
	::ticks <- 0;
}

function onProc()
{
	ticks += 1;
	if (ticks < 3) return;
	print("stuck");
	while (true) {}
}

function onDraw()
{
}

function onUnload()
{
}
