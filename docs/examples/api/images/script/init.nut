// 2D images: textures loaded into the script's slots, drawn as rotated,
// tinted rectangles before (First) or after (Last) the models and boards.
ticks <- 0;

function onLoad()
{
	print("tiles: " + loadTexture(0, "image\\tiles.bmp"));
	print("sky: " + loadTexture(1, "image\\sky.bmp"));
	print("slot 100: " + loadTexture(100, "image\\tiles.bmp"));
	print("missing file: " + loadTexture(2, "image\\none.bmp"));
	unloadTexture(2);	// an empty slot: nothing happens
}

function onProc()
{
	ticks++;
}

function onDraw()
{
	// The 32 x 32 sky stretched over the whole 640 x 480 screen, its
	// top-left corner (pivot 0.0, 0.0) at (0, 0).
	drawTextureFirst(1, 0, 0, 640, 480, 0, 0, 0, 32, 32, 1.0, 1.0, 1.0, 1.0, 0.0, 0.0);
	// The left half of tiles.bmp (the disc) at its own size, centred on
	// (160, 240).
	drawTextureLast(0, 160, 240, 64, 64, 0, 0, 0, 64, 64, 1.0, 1.0, 1.0, 1.0, 0.5, 0.5);
	// The right half (the diamond), twice as large, turning about its
	// centre.
	drawTextureLast(0, 320, 240, 128, 128, ticks * 3, 64, 0, 128, 64, 1.0, 1.0, 1.0, 1.0, 0.5, 0.5);
	// The disc again, darkened to half its colour and half transparent.
	drawTextureLast(0, 480, 240, 96, 96, 0, 0, 0, 64, 64, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5);
	// Slot 5 holds no texture: a plain white rectangle along the bottom.
	drawTextureLast(5, 0, 440, 640, 40, 0, 0, 0, 0, 0, 1.0, 1.0, 1.0, 1.0, 0.0, 0.0);
}

function onUnload()
{
}
