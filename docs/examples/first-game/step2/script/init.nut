// Star Catcher, step 2: an image.
ticks <- 0;

function onLoad()
{
	setTitle("Star Catcher");
	print("star loaded: " + loadTexture(0, "image\\star.bmp"));
}

function onProc()
{
	ticks++;
	drawText("Star Catcher", 224, 200, 32, 255, 220, 60);
	drawText("seconds: " + ticks / 20, 276, 250, 16, 255, 255, 255);
}

function onDraw()
{
	// Texture slot 0 at (320, 140), 64 x 64 pixels, turning 6 degrees a
	// tick about its centre (pivot 0.5, 0.5); the whole image (0, 0 to
	// 64, 64) in its own colours (1.0, 1.0, 1.0) and fully opaque (1.0).
	drawTextureLast(0, 320, 140, 64, 64, ticks * 6, 0, 0, 64, 64, 1.0, 1.0, 1.0, 1.0, 0.5, 0.5);
}

function onUnload()
{
}
