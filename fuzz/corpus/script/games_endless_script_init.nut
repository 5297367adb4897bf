// A game that behaves and never ends by itself; it saves its data every
// tick. The log's line, after the first save, tells a test that it runs.
function onLoad()
{
	::ticks <- 0;
}

function onProc()
{
	ticks += 1;
	setData("ticks", ticks.tostring());
	saveData("save.dat");
	if (ticks == 1) print("running");
}

function onDraw()
{
}

function onUnload()
{
}
