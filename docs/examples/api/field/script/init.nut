// The field: ground to stand on (checkField), obstacles to bump into
// (update and checkObst), and segments tested against a model (checkHit).
ticks <- 0;
hero <- null;
wall <- null;

function show(text)
{
	print(text + ": hero at " + hero.x + ", " + hero.y + ", " + hero.z);
}

function onLoad()
{
	print("field: " + loadField("field\\ground.x"));
	print("a missing field: " + loadField("field\\none.x"));
	print("ground after that: " + PorigonManager().checkField());
	print("field again: " + loadField("field\\ground.x"));
	unloadField();
	print("ground after unloadField: " + PorigonManager().checkField());
	print("and again: " + loadField("field\\ground.x"));

	wall = PorigonManager();
	wall.index = 1;
	print("wall: " + wall.load("model\\wall.cha"));
	wall.x = 5.0;
	wall.z = 5.0;
	wall.update();

	hero = PorigonManager();
	hero.index = 0;
	print("hero: " + hero.load("model\\hero.cha"));
	hero.x = 1.0;
	hero.z = 5.0;
	hero.y = 2.0;
	print("above the ground: " + hero.checkField());
	hero.y = -1.0;
	print("under the ground: " + hero.checkField());
	show("on the ground");
	hero.update();

	print("down onto the wall: " + wall.checkHit(5.0, 9.0, 5.0, 5.0, 0.0, 5.0) + " at " + wall.getHitX() + ", "
		+ wall.getHitY() + ", " + wall.getHitZ());
	print("beside the wall: " + wall.checkHit(9.0, 9.0, 9.0, 9.0, 0.0, 9.0));

	setCameraIti(7.0, 26.0, -22.0);
	setCameraSiten(7.0, 0.0, 5.0);
}

function onProc()
{
	if (ticks == 16)
		return;
	ticks++;
	if (ticks == 6) {
		// Round the wall: a jump, with update() so checkObst starts here.
		hero.z = 2.0;
		hero.update();
	}
	hero.x += 1.0;
	hero.y -= 0.5;
	local obstacle = hero.checkObst(-1, false);
	local ground = hero.checkField();
	show("tick " + ticks + ", checkObst " + obstacle + ", checkField " + ground);
	hero.update();
}

function onDraw()
{
	drawField();
	wall.draw();
	hero.draw();
}

function onUnload()
{
}
