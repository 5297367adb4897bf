// Star Catcher, step 3: a model that walks on a field.
ticks <- 0;
hero <- null;

function onLoad()
{
	setTitle("Star Catcher");
	print("star loaded: " + loadTexture(0, "image\\star.bmp"));
	print("field loaded: " + loadField("field\\ground.x"));
	hero = PorigonManager();
	hero.index = 0;
	print("hero loaded: " + hero.load("model\\hero.cha"));
	hero.z = -12.0;
}

// Walks the hero with the arrow keys and keeps it on the ground.
function walk()
{
	local dx = 0.0, dz = 0.0;
	if (getInputLeft())
		dx -= 0.3;
	if (getInputRight())
		dx += 0.3;
	if (getInputUp())
		dz += 0.3;
	if (getInputDown())
		dz -= 0.3;
	if (dx != 0.0 || dz != 0.0) {
		hero.x += dx;
		hero.z += dz;
		// Turn the red front (+z) the way the hero walks.
		hero.ry = atan2(dx, dz) * 180.0 / PI;
	}
	// Stay on the field, 40 x 40 around the origin.
	if (hero.x < -19.0) hero.x = -19.0;
	if (hero.x > 19.0) hero.x = 19.0;
	if (hero.z < -19.0) hero.z = -19.0;
	if (hero.z > 19.0) hero.z = 19.0;
	// Fall a little, then let the field lift the hero onto the ground.
	hero.y -= 0.5;
	hero.checkField();
	hero.update();
	// The camera follows from behind and above.
	setCameraIti(hero.x, hero.y + 7.0, hero.z - 13.0);
	setCameraSiten(hero.x, hero.y, hero.z + 3.0);
}

function onProc()
{
	ticks++;
	walk();
	if (ticks % 20 == 0)
		print("hero at " + hero.x + ", " + hero.y + ", " + hero.z);
	drawText("seconds: " + ticks / 20, 20, 20, 16, 255, 255, 255);
}

function onDraw()
{
	drawField();
	hero.draw();
	drawTextureLast(0, 604, 36, 48, 48, ticks * 6, 0, 0, 64, 64, 1.0, 1.0, 1.0, 1.0, 0.5, 0.5);
}

function onUnload()
{
}
