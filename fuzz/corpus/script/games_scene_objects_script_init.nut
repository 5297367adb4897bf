// Models, animation and boards through the script classes: two robots
// sharing one model at different frames of their walk, a tinted and an
// outlined crate, boards of the three effects. The test writes the model,
// animation, board and image files into the folder before running it.
function onLoad()
{
	setCameraIti(0.0, 4.0, -18.0);
	setCameraSiten(0.0, 0.0, 0.0);
	loadTexture(3, "image\\spark.bmp");

	::robots <- [PorigonManager(), PorigonManager()];
	foreach (i, r in robots) {
		r.index = i;
		print("robot " + i + " load " + r.load("model\\robot.cha"));
		r.x = i * 3.0 - 3.5;
		r.ry = 30.0 * i;
	}
	print("frames " + robots[0].getMaxAnimeFrame(0) + " " + robots[0].getMaxAnimeFrame(30));

	::crate <- PorigonManager();
	crate.index = 2;
	print("crate load " + crate.load("model\\crate.cha"));
	crate.x = 3.0;
	crate.isSetColor = true;
	crate.colorR = 1.0; crate.colorG = 0.3; crate.colorB = 0.0; crate.colorA = 0.6;
	crate.isMask = true;

	::box <- PorigonManager();
	box.index = 3;
	box.load("model\\crate.cha");
	box.x = 3.0; box.y = 2.4;
	box.isMask = true;
	box.scaleX = 0.5; box.scaleY = 0.5; box.scaleZ = 0.5;

	::missing <- PorigonManager();
	missing.index = 4;
	print("missing load " + missing.load("model\\none.cha"));
	print("bad index load " + PorigonManager().load("model\\crate.cha"));

	::boards <- [];
	for (local e = 0; e < 4; e += 1) {
		local b = BoardManager();
		b.textureIndex = 3;
		b.right = 8.0; b.bottom = 8.0;
		b.scaleX = 1.5; b.scaleY = 1.5; b.scaleZ = 1.5;
		b.x = e * 2.0 - 3.0; b.y = -2.5; b.z = -1.0;
		b.effectType = e;
		boards.append(b);
	}
	::tick <- 0;
}

function onProc()
{
	tick += 1;
	foreach (i, r in robots) {
		r.animeFrame = (tick * (i + 1)) % (r.getMaxAnimeFrame(0) + 1);
		r.update();
	}
	crate.ry = tick * 3.0;
	crate.update();
	box.update();
	foreach (b in boards) {
		b.rote = tick * 5.0;
		b.lookAtCamera();
	}
}

function onDraw()
{
	foreach (r in robots) r.draw();
	crate.draw();
	box.draw();
	foreach (b in boards) b.draw();
}

function onUnload()
{
}
