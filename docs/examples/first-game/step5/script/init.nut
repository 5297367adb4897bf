// Star Catcher, step 5: a round against the clock, and a saved high score.
ticks <- 0;
roundTicks <- 400;	// 20 seconds of 20 ticks
over <- false;
best <- 0;
hero <- null;
stars <- [];
score <- 0;
coin <- -1;

// A star floating 1.2 above the ground at (x, z): a board showing the
// star image of texture slot 0.
function makeStar(x, z)
{
	local star = BoardManager();
	star.textureIndex = 0;
	star.right = 64.0;
	star.bottom = 64.0;
	star.scaleX = 1.2;
	star.scaleY = 1.2;
	star.scaleZ = 1.2;
	// A probe under the ground finds its height: checkField lifts it.
	local probe = PorigonManager();
	probe.x = x;
	probe.y = -10.0;
	probe.z = z;
	probe.checkField();
	star.x = x;
	star.y = probe.y + 1.2;
	star.z = z;
	return star;
}

function onLoad()
{
	setTitle("Star Catcher");
	print("star loaded: " + loadTexture(0, "image\\star.bmp"));
	print("field loaded: " + loadField("field\\ground.x"));
	hero = PorigonManager();
	hero.index = 0;
	print("hero loaded: " + hero.load("model\\hero.cha"));
	hero.z = -12.0;
	coin = loadWave("coin.wav");
	print("coin sound: " + coin);
	foreach (place in [[0.0, -8.0], [6.0, -2.0], [-7.0, 3.0], [2.0, 9.0], [-12.0, -12.0]])
		stars.append(makeStar(place[0], place[1]));
	loadBest();
	print("best so far: " + best);
}

// The best score lives in best.dat, a file of setData calls that
// saveData wrote: running its text puts the values back.
function loadBest()
{
	if (loadData("best.dat"))
		compilestring(getLoadData())();
	local text = getData("best");
	best = text == "" ? 0 : text.tointeger();
}

function saveBest()
{
	setData("best", "" + best);
	print("saved: " + saveData("best.dat"));
}

// The round ends when the time is up or every star is caught.
function endRound()
{
	over = true;
	print("round over, score " + score);
	if (score > best) {
		best = score;
		saveBest();
	}
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

// A star within 1.5 of the hero is caught: it goes, the sound plays.
function catchStars()
{
	for (local i = stars.len() - 1; i >= 0; i--) {
		local dx = stars[i].x - hero.x, dz = stars[i].z - hero.z;
		if (dx * dx + dz * dz < 1.5 * 1.5) {
			stars.remove(i);
			score++;
			playWave(coin);
			print("caught a star, score " + score);
		}
	}
}

function onProc()
{
	if (!over) {
		ticks++;
		walk();
		catchStars();
		if (ticks == roundTicks || stars.len() == 0)
			endRound();
	} else if (getInputButton(0)) {
		// Z: play again. The script file starts anew; only the data
		// store and what is in files survive.
		setNextFilePath("script\\init.nut");
		setMainLoopEnd();
	}
	local left = (roundTicks - ticks + 19) / 20;
	drawText("score: " + score + "   time: " + left + "   best: " + best, 20, 20, 16, 255, 255, 255);
	if (over)
		drawText("Round over! Z plays again", 170, 220, 24, 255, 220, 60);
}

function onDraw()
{
	drawField();
	hero.draw();
	foreach (star in stars) {
		star.rote = ticks * 6.0;	// spin in the picture plane
		star.lookAtCamera();
		star.draw();
	}
}

function onUnload()
{
	// Loaded sounds outlive the script file: give this one back.
	unloadWave(coin);
}
