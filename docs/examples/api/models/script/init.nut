// Models in the scene: PorigonManager instances, each showing the model
// of its object slot (index), placed, turned, scaled, tinted, animated.
robot <- null;
blocks <- [];

function onLoad()
{
	local fresh = PorigonManager();
	print("a new instance: index " + fresh.index + ", x " + fresh.x + ", scaleX " + fresh.scaleX + ", colorA "
		+ fresh.colorA + ", isObst " + fresh.isObst + ", isAlpha " + fresh.isAlpha);
	print("its model's frames: " + fresh.getMaxAnimeFrame(0));

	robot = PorigonManager();
	robot.index = 0;
	print("robot: " + robot.load("model\\robot.cha"));
	print("frames of animation 0: " + robot.getMaxAnimeFrame(0));
	print("frames of animation 1: " + robot.getMaxAnimeFrame(1));
	robot.ry = 180.0;			// its yellow front towards the camera
	robot.update();

	// Three blocks share one loaded model.
	foreach (i, x in [-4.5, 2.5, 4.5]) {
		local block = PorigonManager();
		block.index = 1 + i;
		print("block " + block.index + ": " + block.load("model\\block.cha"));
		block.x = x;
		block.update();
		blocks.append(block);
	}
	blocks[1].isSetColor = true;		// tinted by colorR, colorG, colorB, colorA
	blocks[1].colorR = 0.3;
	blocks[1].colorG = 1.0;
	blocks[1].colorB = 0.3;
	blocks[1].colorA = 0.6;
	blocks[2].scaleY = 0.5;		// half as high
	blocks[2].rx = 20.0;			// tipped forward
	blocks[2].rz = 10.0;			// and to the side
	blocks[2].update();
	robot.isMask = true;			// outlined

	local spare = PorigonManager();
	spare.index = 9;
	print("spare: " + spare.load("model\\block.cha") + ", frames " + spare.getMaxAnimeFrame(0));
	spare.unload();		// one reference less; the blocks still hold the model
	print("after unload: frames " + spare.getMaxAnimeFrame(0));

	local other = PorigonManager();
	other.index = 600;
	print("slot 600: " + other.load("model\\block.cha"));
	other.index = 10;
	print("a missing file: " + other.load("model\\none.cha"));

	// Members convert what is assigned to their own type.
	other.index = 2.9;
	other.x = 3;
	other.isAlpha = 1;
	print("index " + other.index + ", x " + other.x + ", isAlpha " + other.isAlpha);
	try {
		print(other.nosuch);
	} catch (error) {
		print("reading nosuch: " + error);
	}

	setCameraIti(0.0, 5.0, -24.0);
	setCameraSiten(0.0, 1.0, 0.0);
}

function onProc()
{
	// Play animation 0 in a loop, a frame a tick.
	robot.animeIndex = 0;
	robot.animeFrame += 1.0;
	if (robot.animeFrame >= robot.getMaxAnimeFrame(0))
		robot.animeFrame = 0.0;
	blocks[0].ry += 6.0;
	blocks[0].update();
}

function onDraw()
{
	robot.draw();
	foreach (block in blocks)
		block.draw();
}

function onUnload()
{
}
