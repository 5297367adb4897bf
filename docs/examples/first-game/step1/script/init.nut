// Star Catcher, step 1: a script that draws text.
ticks <- 0;

function onLoad()
{
	setTitle("Star Catcher");
	print("Hello from onLoad");
}

function onProc()
{
	ticks++;
	if (ticks % 20 == 0)
		print(ticks / 20 + " seconds");
	drawText("Star Catcher", 224, 200, 32, 255, 220, 60);
	drawText("seconds: " + ticks / 20, 276, 250, 16, 255, 255, 255);
}

function onDraw()
{
}

function onUnload()
{
}
