// Every service a running game uses each tick and frame: input, text that
// changes every tick, the debug console, 2D images from a texture, the
// camera and its conversions, a wave played now and then, the data store,
// animated models in both object lists, tinted and outlined, and boards of
// every effect.
// Run by the allocation test: after warm-up a tick and a frame of the host
// allocate nothing.
function onLoad()
{
	::x <- 0;
	::ticks <- 0;
	::tile <- loadTexture(0, "image\\tile.bmp");
	::beep <- loadWave("beep.wav");
	if (!tile || beep < 0) throw "the test's image or wave is missing";
	::objects <- [];
	for (local i = 0; i < 8; i += 1) {
		local o = PorigonManager();
		o.index = i;
		if (!o.load(i % 2 ? "model\\robot.cha" : "model\\crate.cha")) throw "a model is missing";
		o.x = i * 1.5 - 6.0;
		o.isAlpha = i % 3 == 0;
		o.isSetColor = i % 4 == 1;
		o.isMask = i % 2 == 0;
		objects.append(o);
	}
	::boards <- [];
	for (local e = 0; e < 3; e += 1) {
		local b = BoardManager();
		b.textureIndex = 0;
		b.right = 8.0; b.bottom = 8.0;
		b.scaleX = 1.0; b.scaleY = 1.0; b.scaleZ = 1.0;
		b.x = e * 2.0 - 2.0; b.y = -2.0;
		b.effectType = e;
		boards.append(b);
	}
	setData("best", "0");
}

function onProc()
{
	ticks += 1;
	if (getInputRight() || getMouseLButton()) x += 3;
	x = (x + 1) % 600;
	setCameraIti(x * 0.01, 5.0, -20.0);
	setCameraSiten(0.0, 0.0, 0.0);
	drawText("tick " + ticks + " x " + x, 10, 400, 20, 255, 255, 0);
	drawText("\x88\xda\x93\xae & more", 10, 430, 14, 0, 255, 255);
	setDebugMsg("mouse " + getMouseX() + "," + getMouseY());
	if (ticks % 20 == 0) playWave(beep);
	if (getData("best") == "0") setData("best", "1");
	foreach (i, o in objects) {
		o.animeFrame = (ticks + i) % 20;
		o.ry = ticks * 2.0;
		o.update();
	}
	foreach (b in boards) b.lookAtCamera();
}

function onDraw()
{
	drawTextureFirst(0, x, 200, 64, 32, x % 360, 0, 0, 8, 8, 1.0, 0.5, 0.0, 1.0, 0.5, 0.5);
	drawTextureLast(-1, 320, 300, 100, 20, 0, 0, 0, 0, 0, 0.0, 0.5, 1.0, 1.0, 0.0, 0.0);
	convert3Dto2D(0.0, 1.0, 0.0);
	convert2Dto3D(get3Dto2DX(), get3Dto2DY(), 10.0);
	foreach (o in objects) o.draw();
	foreach (b in boards) b.draw();
}

function onUnload()
{
}
