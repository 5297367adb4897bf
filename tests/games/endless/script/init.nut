// A game that behaves and never ends by itself; it saves its data every
// tick. The log line tells a test that it runs.
function onLoad()
{
	::ticks <- 0;
	print("running");
}

function onProc()
{
	ticks += 1;
	setData("ticks", ticks.tostring());
	saveData("save.dat");
}

function onDraw()
{
}

function onUnload()
{
	print("unloaded");
}
