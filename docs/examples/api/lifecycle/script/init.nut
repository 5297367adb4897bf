// The life of a script file: onLoad once, onProc every tick, onDraw
// every frame, onUnload at the end; then the next file in a fresh VM.
ticks <- 0;
frames <- 0;

function onLoad()
{
	print("init.nut: onLoad, ext is " + ext);
	setTitle("Life cycle");
	setData("carried", "set by init.nut");
}

function onProc()
{
	ticks++;
	print("init.nut: tick " + ticks + " after " + frames + " frames");
	if (ticks == 3) {
		setNextFilePath("script\\second.nut");
		setMainLoopEnd();
	}
}

function onDraw()
{
	frames++;
}

function onUnload()
{
	print("init.nut: onUnload after " + ticks + " ticks");
}
