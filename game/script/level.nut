// Star Garden: the level.
//
// The hero walks over a lit, textured field with hills and a pond, kept on
// the ground by checkField and stopped by rocks, trees and crates through
// checkObst. Five stars wait to be collected before the time runs out.
// The mouse picks objects (findNearMousePos) and plants a flag on the
// ground (convert2Dto3D); the hero walks to either. A marker follows the
// hero on screen (convert3Dto2D).

::T <- dofile("script\\text.nut", true);

::TIME_LIMIT <- 50 * 20;   // ticks
::SPEED <- 0.25;           // units a tick
::FEET <- 1.35;            // from the hero's origin down to its soles

// Object slots of the scene store, one range per kind.
::HERO <- 0;
::GEM0 <- 10;
::CRYSTAL <- 20;
::ROCK0 <- 30;
::TREE0 <- 40;
::CRATE0 <- 50;
::WATER <- 60;
::FLAG <- 61;

// Texture slots.
::TX_SPARKLE <- 0;
::TX_GLOW <- 1;
::TX_RING <- 2;
::TX_PANEL <- 3;
::TX_YOU <- 4;
::TX_POINTER <- 5;
::TX_SKY <- 6;

function degrees(radians) { return radians * 57.29578; }

// Ground height under (x, z), or null outside the field: a probe put far
// below the ground is lifted onto it (0.25 above the surface).
function groundAt(x, z)
{
	probe.x = x;
	probe.y = -100.0;
	probe.z = z;
	if (probe.checkField() > 0) return probe.y - 0.25;
	return null;
}

function makeObject(slot, file, x, z, lift)
{
	local o = PorigonManager();
	o.index = slot;
	if (!o.load(file)) print("level: " + file + " did not load");
	o.x = x;
	o.z = z;
	local g = groundAt(x, z);
	o.y = (g == null ? 0.0 : g) + lift;
	o.update();
	return o;
}

function makeBoard(texture, size, effect)
{
	local b = BoardManager();
	b.textureIndex = texture;
	b.right = size;
	b.bottom = size;
	b.effectType = effect;
	return b;
}

function onLoad()
{
	setTitle("Star Garden - " + T.go);
	if (!loadField("field\\garden.x")) print("level: the field did not load");
	::probe <- PorigonManager();

	loadTexture(TX_SPARKLE, "image\\sparkle.bmp");
	loadTexture(TX_GLOW, "image\\glow.bmp");
	loadTexture(TX_RING, "image\\ring.bmp");
	loadTexture(TX_PANEL, "image\\panel.bmp");
	loadTexture(TX_YOU, "image\\you.bmp");
	loadTexture(TX_POINTER, "image\\pointer.bmp");
	loadTexture(TX_SKY, "image\\sky.bmp");

	::hero <- makeObject(HERO, "model\\hero.cha", 0.0, -15.0, FEET + 0.25);
	hero.ry = 180.0;
	hero.isMask = true;
	hero.update();

	::gems <- [];
	foreach (i, p in [[-0.4, -9.0], [-9.0, -4.0], [10.0, -1.0], [12.0, 9.5], [-5.0, 10.0]]) {
		local g = makeObject(GEM0 + i, "model\\gem.cha", p[0], p[1], 1.2);
		g.isObst = false;
		g.update();
		gems.append({obj = g, taken = false, baseY = g.y});
	}
	::crystal <- makeObject(CRYSTAL, "model\\crystal.cha", 1.8, 15.0, 0.0);
	crystal.isSetColor = true;

	::props <- [];
	foreach (i, p in [[3.5, -4.0], [-3.5, 2.0], [5.5, 7.0], [-6.0, -10.0], [9.0, 3.5], [-10.0, 6.0]]) {
		local r = makeObject(ROCK0 + i, "model\\rock.cha", p[0], p[1], -0.1);
		r.ry = i * 47.0;
		r.update();
		props.append(r);
	}
	foreach (i, p in [[-15.0, -15.0], [-18.0, 0.0], [-14.0, 13.0], [15.0, -14.0], [18.0, 2.0], [16.0, 15.0],
	                  [-8.0, 17.0], [8.0, 18.0], [-4.0, -18.0], [6.0, -18.0]]) {
		props.append(makeObject(TREE0 + i, "model\\tree.cha", p[0], p[1], -0.1));
	}
	foreach (i, p in [[-2.6, -12.0], [-4.2, -12.6], [4.5, 12.0]]) {
		local c = makeObject(CRATE0 + i, "model\\crate.cha", p[0], p[1], -0.05);
		c.ry = i * 25.0;
		c.update();
		props.append(c);
	}
	::water <- makeObject(WATER, "model\\water.cha", 7.0, -8.0, 0.0);
	water.y = -0.55;
	water.isAlpha = true;
	water.isObst = false;
	water.update();
	::flag <- PorigonManager();
	flag.index = FLAG;
	flag.load("model\\flag.cha");
	flag.isObst = false;
	::flagUp <- false;

	::sparkles <- [];
	foreach (g in gems) {
		local b = makeBoard(TX_SPARKLE, 32.0, 0);
		b.scaleX = 1.2; b.scaleY = 1.2; b.scaleZ = 1.2;
		sparkles.append(b);
	}
	::sky <- makeBoard(TX_SKY, 0.0, 0);
	sky.right = 8.0;
	sky.bottom = 128.0;
	sky.scaleX = 200.0; sky.scaleY = 150.0; sky.scaleZ = 1.0;
	::halo <- makeBoard(TX_GLOW, 64.0, 2);
	::marker <- makeBoard(TX_RING, 32.0, 1);
	marker.scaleX = 0.9; marker.scaleY = 0.9; marker.scaleZ = 0.9;
	::bursts <- [];

	::seSelect <- loadWave("select.wav");
	::seFlag <- loadWave("flag.wav");
	::sePickup <- loadWave("pickup.wav");
	::seChime <- loadWave("chime.wav");
	::seBump <- loadWave("bump.wav");
	::seAlarm <- loadWave("alarm.wav");
	if (loadMidi("level.mid")) playMidi(0);

	::camX <- hero.x;
	::camY <- hero.y + 13.0;
	::camZ <- hero.z - 24.0;
	::tick <- 0;
	::timeLeft <- TIME_LIMIT;
	::score <- 0;
	::collected <- 0;
	::selected <- -1;
	::target <- null;       // [x, z] the hero walks to, or null
	::ending <- -1;         // ticks left on the closing banner
	::cleared <- false;
	::mouseWas <- true;
	::debugOn <- false;
	::debugWas <- false;
	::bumpWait <- 0;
	::walkFrame <- 0.0;
	::lastField <- 0;
	::lastObst <- -1;
	::lastPick <- -1;
	placeCamera();
}

function nameOf(slot)
{
	if (slot == HERO) return T.names[0];
	if (slot >= GEM0 && slot < GEM0 + 5) return T.names[1];
	if (slot == CRYSTAL) return T.names[2];
	if (slot >= ROCK0 && slot < ROCK0 + 10) return T.names[3];
	if (slot >= TREE0 && slot < TREE0 + 10) return T.names[4];
	if (slot >= CRATE0 && slot < CRATE0 + 5) return T.names[5];
	return "?";
}

function objectOf(slot)
{
	if (slot == HERO) return hero;
	if (slot >= GEM0 && slot < GEM0 + 5) return gems[slot - GEM0].obj;
	if (slot == CRYSTAL) return crystal;
	foreach (p in props) if (p.index == slot) return p;
	return null;
}

// A left click: an object under the mouse is selected and walked to;
// otherwise the mouse ray meets the ground and a flag goes there.
function click()
{
	local slot = findNearMousePos();
	lastPick = slot;
	if (slot >= 0) {
		local o = objectOf(slot);
		if (selected >= 0 && objectOf(selected) != null) objectOf(selected).isMask = selected == HERO;
		selected = slot;
		if (o != null) o.isMask = true;
		// A star is walked to; anything else is only named.
		if (slot >= GEM0 && slot < GEM0 + 5) target = [o.x, o.z];
		playWave(seSelect);
		print("pick " + slot + " at distance " + getFindResultDis().tointeger());
		return;
	}
	// The far point of the ray is left by findNearMousePos.
	local fx = get2Dto3DX(), fy = get2Dto3DY(), fz = get2Dto3DZ();
	convert2Dto3D(getMouseX(), getMouseY(), 0.25);
	local nx = get2Dto3DX(), ny = get2Dto3DY(), nz = get2Dto3DZ();
	// March along the ray until it passes below the ground, then halve.
	local lo = 0.0, hi = -1.0;
	for (local s = 1; s <= 80; s += 1) {
		local t = s / 80.0 * 0.08;
		local g = groundAt(nx + (fx - nx) * t, nz + (fz - nz) * t);
		if (g != null && ny + (fy - ny) * t <= g) { hi = t; break; }
		lo = t;
	}
	if (hi < 0) return;
	for (local k = 0; k < 12; k += 1) {
		local mid = (lo + hi) / 2;
		local g = groundAt(nx + (fx - nx) * mid, nz + (fz - nz) * mid);
		if (g != null && ny + (fy - ny) * mid <= g) hi = mid; else lo = mid;
	}
	flag.x = nx + (fx - nx) * hi;
	flag.z = nz + (fz - nz) * hi;
	flag.y = groundAt(flag.x, flag.z);
	flag.update();
	flagUp = true;
	target = [flag.x, flag.z];
	playWave(seFlag);
	print("flag at " + flag.x.tointeger() + " " + flag.z.tointeger());
}

function walk()
{
	local dx = 0.0, dz = 0.0;
	if (getInputUp()) dz += 1.0;
	if (getInputDown()) dz -= 1.0;
	if (getInputLeft()) dx -= 1.0;
	if (getInputRight()) dx += 1.0;
	if (dx != 0.0 || dz != 0.0) target = null;
	else if (target != null) {
		dx = target[0] - hero.x;
		dz = target[1] - hero.z;
		if (dx * dx + dz * dz < 0.6 * 0.6) {
			target = null;
			dx = 0.0;
			dz = 0.0;
		}
	}
	local length = sqrt(dx * dx + dz * dz);
	if (length == 0.0) {
		hero.animeIndex = 0;
		walkFrame += 1.0;
		if (walkFrame > hero.getMaxAnimeFrame(0)) walkFrame = 0.0;
		hero.animeFrame = walkFrame;
		return;
	}
	dx = dx / length * SPEED;
	dz = dz / length * SPEED;
	// The hero's face looks down -z; ry turns it toward (dx, dz).
	local heading = degrees(atan2(-dx, -dz));
	if (heading < 0) heading += 360.0;
	hero.ry = heading;
	if (hero.animeIndex != 1) walkFrame = 0.0;
	hero.animeIndex = 1;
	walkFrame += 1.0;
	if (walkFrame >= hero.getMaxAnimeFrame(1)) walkFrame = 0.0;
	hero.animeFrame = walkFrame;

	local oldX = hero.x, oldY = hero.y, oldZ = hero.z;
	hero.update();
	hero.x += dx;
	hero.z += dz;
	lastObst = hero.checkObst(HERO, false);
	if (lastObst == 3 && bumpWait == 0) {
		playWave(seBump);
		bumpWait = 10;
	}
	// Onto the ground: the soles stand on the field; off the field the
	// step is refused.
	probe.x = hero.x;
	probe.y = hero.y - FEET - 30.0;
	probe.z = hero.z;
	lastField = probe.checkField();
	if (lastField > 0) {
		hero.x = probe.x;
		hero.z = probe.z;
		hero.y = probe.y - 0.25 + FEET;
	} else {
		hero.x = oldX;
		hero.y = oldY;
		hero.z = oldZ;
	}
	hero.update();
}

function collect()
{
	foreach (i, g in gems) {
		if (g.taken) continue;
		local dx = g.obj.x - hero.x, dz = g.obj.z - hero.z;
		if (dx * dx + dz * dz > 1.3 * 1.3 || fabs(g.obj.y - hero.y) > 2.5) continue;
		g.taken = true;
		collected += 1;
		score += 100 + timeLeft / 20;
		// Two effects at once: the pick-up tune and a chime.
		playWave(sePickup);
		playWave(seChime);
		bursts.append({x = g.obj.x, y = g.obj.y, z = g.obj.z, age = 0});
		if (selected == g.obj.index) selected = -1;
		print("star " + collected + " at tick " + tick + " score " + score);
	}
}

function finish(won)
{
	cleared = won;
	ending = 50;
	target = null;
	if (won) score += timeLeft / 2;
	stopWave(seAlarm);
	setMidiValume(2000);
	setData("lastScore", "" + score);
	setData("lastGems", "" + collected);
	setData("lastClear", won ? "1" : "0");
	print((won ? "clear" : "time up") + " with score " + score);
}

function placeCamera()
{
	// The eye follows from behind and above, easing toward its place.
	camX += (hero.x - camX) * 0.2;
	camY += (hero.y + 13.0 - camY) * 0.2;
	camZ += (hero.z - 24.0 - camZ) * 0.2;
	setCameraIti(camX, camY, camZ);
	setCameraSiten(camX, camY - 12.0, camZ + 27.0);
}

function onProc()
{
	tick += 1;
	if (bumpWait > 0) bumpWait -= 1;
	local debug = getInputButton(2);
	if (debug && !debugWas) debugOn = !debugOn;
	debugWas = debug;

	if (ending >= 0) {
		ending -= 1;
		hero.animeIndex = 0;
		if (ending == 0) {
			setNextFilePath("script\\result.nut");
			setMainLoopEnd();
		}
	} else {
		timeLeft -= 1;
		local mouse = getMouseLButton();
		if (mouse && !mouseWas) click();
		mouseWas = mouse;
		walk();
		collect();
		if (collected == gems.len()) finish(true);
		else if (timeLeft <= 0) finish(false);
		else if (timeLeft <= 200 && timeLeft % 20 == 0) playWave(seAlarm);
	}

	foreach (i, g in gems) {
		g.obj.ry = (tick * 6 + i * 40) % 360 * 1.0;
		g.obj.y = g.baseY + sin(tick * 0.12 + i) * 0.2;
		g.obj.update();
	}
	local pulse = 0.5 + 0.5 * sin(tick * 0.1);
	crystal.colorR = 0.4 + 0.6 * pulse;
	crystal.colorG = 0.5 + 0.3 * (1.0 - pulse);
	crystal.colorB = 1.0;
	crystal.colorA = 0.9;
	crystal.update();
	for (local i = bursts.len() - 1; i >= 0; i -= 1) {
		bursts[i].age += 1;
		if (bursts[i].age > 14) bursts.remove(i);
	}
	placeCamera();
	drawHud();
	if (debugOn) {
		setDebugMsg("hero " + hero.x + " " + hero.y + " " + hero.z + " ry " + hero.ry);
		setDebugMsg("checkField " + lastField + "  checkObst " + lastObst + "  pick " + lastPick);
		setDebugMsg("tick " + tick + "  anime " + hero.animeIndex + " frame " + hero.animeFrame);
	}
}

function drawHud()
{
	local seconds = (timeLeft + 19) / 20;
	// Top right, clear of the frame-rate line and the debug console.
	drawText(T.score + " " + score, 386, 18, 20, 255, 255, 255);
	drawText(T.gems + " " + collected + " / " + gems.len(), 386, 44, 16, 255, 230, 120);
	local warn = seconds <= 10;
	drawText(T.time + " " + seconds, 510, 44, 16, 255, warn ? 90 : 255, warn ? 90 : 255);
	drawText("arrows: walk   click: pick / flag   C: debug", 330, 458, 14, 230, 240, 255);
	if (tick < 40) drawText(T.go, 250, 200, 32, 255, 240, 120);
	if (ending >= 0) {
		drawText(cleared ? T.clear : T.timeUp, cleared ? 252 : 232, 200, 36, 255, cleared ? 240 : 120, 120);
		drawText(cleared ? "CLEAR!" : "TIME UP", 270, 244, 20, 255, 255, 255);
	}
	if (selected >= 0) drawText(T.selected + ": " + nameOf(selected), 26, 458, 14, 160, 255, 255);
}

function onDraw()
{
	// The sky is a far board: a 2D image queued "first" would be drawn
	// after drawField, over the field.
	sky.x = camX;
	sky.y = camY - 60.0;
	sky.z = camZ + 250.0;
	sky.lookAtCamera();
	sky.draw();
	drawField();
	hero.draw();
	foreach (g in gems) if (!g.taken) g.obj.draw();
	crystal.draw();
	foreach (p in props) p.draw();
	water.draw();
	if (flagUp) flag.draw();

	foreach (i, g in gems) {
		if (g.taken) continue;
		local b = sparkles[i];
		b.x = g.obj.x; b.y = g.obj.y + 1.0; b.z = g.obj.z;
		b.lookAtCamera();
		b.rote = (tick * 8 + i * 70) % 360 * 1.0;
		b.draw();
	}
	halo.x = crystal.x; halo.y = crystal.y + 1.8; halo.z = crystal.z;
	local size = 4.0 + sin(tick * 0.1) * 0.6;
	halo.scaleX = size; halo.scaleY = size; halo.scaleZ = size;
	halo.lookAtCamera();
	halo.draw();
	foreach (burst in bursts) {
		local b = makeBoard(TX_GLOW, 64.0, 2);
		local s = 1.0 + burst.age * 0.35;
		b.scaleX = s; b.scaleY = s; b.scaleZ = s;
		b.x = burst.x; b.y = burst.y; b.z = burst.z;
		b.colorA = 1.0 - burst.age / 15.0;
		b.lookAtCamera();
		b.draw();
	}
	local o = selected >= 0 ? objectOf(selected) : null;
	if (o != null) {
		marker.x = o.x; marker.y = o.y + 3.0; marker.z = o.z;
		marker.lookAtCamera();
		marker.draw();
		if (convert3Dto2D(o.x, o.y + 3.8, o.z))
			drawText(nameOf(selected), get3Dto2DX() - 20, get3Dto2DY() - 20, 16, 160, 255, 255);
	}

	drawTextureLast(TX_PANEL, 372, 10, 256, 64, 0, 0, 0, 256, 64, 1.0, 1.0, 1.0, 1.0, 0.0, 0.0);
	if (convert3Dto2D(hero.x, hero.y + 2.3, hero.z))
		drawTextureLast(TX_YOU, get3Dto2DX(), get3Dto2DY(), 32, 24, 0, 0, 0, 32, 24, 1.0, 1.0, 1.0, 0.9, 0.5, 1.0);
	drawTextureLast(TX_POINTER, getMouseX(), getMouseY(), 16, 32, 0, 0, 0, 16, 32, 1.0, 1.0, 1.0, 1.0, 0.0, 0.0);
}

function onUnload()
{
	unloadField();
	foreach (w in [seSelect, seFlag, sePickup, seChime, seBump, seAlarm]) unloadWave(w);
}
