// Tesserae demo: a ball on a tiled floor. The arrow keys move it, Z spins
// it, Escape ends the game.
function onLoad()
{
	::x <- 320;
	::y <- 240;
	::angle <- 0;
	::ticks <- 0;
	loadTexture(0, "image\\ball.bmp");
	loadTexture(1, "image\\tile.bmp");
	setCameraIti(0.0, 5.0, -20.0);
	setCameraSiten(0.0, 0.0, 0.0);
	print("Tesserae demo: loaded");
}

function onProc()
{
	local speed = 6;
	if (getInputLeft()) x -= speed;
	if (getInputRight()) x += speed;
	if (getInputUp()) y -= speed;
	if (getInputDown()) y += speed;
	if (x < 16) x = 16;
	if (x > 624) x = 624;
	if (y < 16) y = 16;
	if (y > 464) y = 464;
	if (getInputButton(0)) angle = (angle + 15) % 360;
	ticks++;
	drawText("Tesserae demo", 16, 400, 20, 255, 255, 255);
	drawText("arrow keys: move   Z: spin   Escape: end", 16, 424, 14, 200, 200, 120);
	drawText("x " + x + "  y " + y + "  ticks " + ticks, 16, 444, 14, 160, 200, 255);
}

function onDraw()
{
	for (local ty = 0; ty < 480; ty += 64) {
		for (local tx = 0; tx < 640; tx += 64) {
			drawTextureFirst(1, tx, ty, 64, 64, 0, 0, 0, 64, 64, 1.0, 1.0, 1.0, 1.0, 0.0, 0.0);
		}
	}
	drawTextureLast(0, x, y, 32, 32, angle, 0, 0, 32, 32, 1.0, 1.0, 1.0, 1.0, 0.5, 0.5);
}

function onUnload()
{
}
