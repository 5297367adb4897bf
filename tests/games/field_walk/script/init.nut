// A character walks over a field: into a box that stops it, then onto a
// 45-degree slope that slides it back. Each tick prints the codes of
// checkObst and checkField and the corrected position. The field and the
// models are written by the tests before the game starts; the script
// tests run it through the host, the application tests through the
// program, with a screenshot of the last frame.
hero <- null;
wall <- null;
tick <- 0;

function show(text, o)
{
	print(text + " " + o.x + " " + o.y + " " + o.z);
}

function onLoad()
{
	print("loadField " + loadField("field\\ground.x"));
	print("missing field " + loadField("field\\none.x"));
	print("after a failed load " + PorigonManager().checkField());
	print("reload " + loadField("field\\ground.x"));
	wall = PorigonManager();
	wall.index = 1;
	print("wall " + wall.load("wall.cha"));
	wall.x = 5.0;
	wall.z = 5.0;
	wall.update();
	hero = PorigonManager();
	hero.index = 0;
	print("hero " + hero.load("wall.cha"));
	hero.x = 1.0;
	hero.y = 2.0;
	hero.z = 5.0;
	print("above " + hero.checkField());
	hero.y = -1.0;
	print("below " + hero.checkField());
	show("start", hero);
	hero.update();
	print("hit from above " + wall.checkHit(5.0, 9.0, 5.0, 5.0, 0.0, 5.0) + " " + wall.getHitY());
	print("missed " + wall.checkHit(9.0, 9.0, 9.0, 9.0, 0.0, 9.0) + " " + wall.getHitY());
	setCameraIti(9.0, 24.0, -26.0);
	setCameraSiten(9.0, 0.0, 4.0);
	print("pick " + findNearMousePos() + " " + getFindResultDis());
}

function onProc()
{
	if (tick == 9)
		return;
	tick++;
	if (tick == 5) {
		hero.x = 8.0;
		hero.z = 2.0;
		hero.update();
	}
	hero.x += 1.0;
	local obst = hero.checkObst(-1, false);
	local ground = hero.checkField();
	show(tick + ": " + obst + " " + ground, hero);
	hero.update();
	if (tick == 9) {
		unloadField();
		unloadField();
		print("unloaded " + hero.checkField());
		print("loaded again " + loadField("field\\ground.x"));
	}
}

function onDraw()
{
	drawField();
	hero.draw();
	wall.draw();
}

function onUnload()
{
}

// expect: loadField true
// expect: missing field false
// expect: after a failed load -2
// expect: reload true
// expect: wall true
// expect: hero true
// expect: above -1
// expect: below 1
// expect: start 1 0.25 5
// expect: hit from above true 1.25
// expect: missed false 1.25
// expect: pick -1 1000
// expect: 1: -1 1 2 0.25 5
// expect: 2: -1 1 3 0.25 5
// expect: 3: 3 1 3.85 0.25 5
// expect: 4: 3 1 3.85 0.25 5
// expect: 5: -1 1 9 0.25 2
// expect: 6: -1 2 9.99938 0.777863 2
// expect: 7: -1 2 10.702 1.77724 1.75673
// expect: 8: -1 2 10.7965 2.47988 1.75673
// expect: 9: -1 -1 11.7965 2.47988 1.75673
// expect: unloaded -2
// expect: loaded again true
