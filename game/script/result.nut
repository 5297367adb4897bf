// Star Garden: the result.
//
// Shows how the game ended, enters the score into the high-score table
// and saves the table; button 0 or a click goes back to the title.

::T <- dofile("script\\text.nut", true);

function onLoad()
{
	setTitle("Star Garden");
	setCameraIti(0.0, 0.0, -10.0);
	setCameraSiten(0.0, 0.0, 0.0);
	loadTexture(0, "image\\title.bmp");
	loadTexture(1, "image\\panel.bmp");
	loadTexture(2, "image\\cursor.bmp");
	loadTexture(3, "image\\pointer.bmp");
	::seOk <- loadWave("ok.wav");

	// The level's results arrive through the data store, which loading the
	// saved table empties: read them first.
	::score <- getData("lastScore").tointeger();
	::gems <- getData("lastGems").tointeger();
	::cleared <- getData("lastClear") == "1";

	if (loadData("records.dat")) {
		try {
			compilestring(getLoadData())();
		} catch (e) {
			print("records.dat unreadable: " + e);
		}
	}
	::table <- [];
	for (local i = 0; i < 5; i += 1) {
		local entry = getData("hs" + i);
		if (entry == "") continue;
		local space = entry.find(" ");
		table.append([entry.slice(0, space).tointeger(), entry.slice(space + 1).tointeger()]);
	}
	::rank <- table.len();
	for (local i = 0; i < table.len(); i += 1) {
		if (score > table[i][0]) { rank = i; break; }
	}
	table.insert(rank, [score, gems]);
	if (table.len() > 5) table.resize(5);
	if (rank >= 5) rank = -1;
	// Only the table and the count are saved: the store is emptied and
	// refilled, so no passing value lands in the file.
	local plays = getData("plays");
	plays = (plays == "" ? 0 : plays.tointeger()) + 1;
	clearData();
	foreach (i, e in table) setData("hs" + i, e[0] + " " + e[1]);
	setData("plays", "" + plays);
	print("result: score " + score + " rank " + rank + " saved " + saveData("records.dat"));

	if (loadMidi("result.mid")) playMidi(0);
	::tick <- 0;
	::faded <- false;
	::buttonWas <- true;
	::mouseWas <- true;
	::leaving <- -1;
}

function onProc()
{
	tick += 1;
	// The fanfare plays once through, then fades.
	if (tick == 70 && !faded) {
		setMidiValume(1500);
		faded = true;
	}
	if (leaving >= 0) {
		leaving -= 1;
		if (leaving == 0) {
			setNextFilePath("script\\init.nut");
			setMainLoopEnd();
		}
	} else if (tick > 20) {
		local button = getInputButton(0), mouse = getMouseLButton();
		if ((button && !buttonWas) || (mouse && !mouseWas)) {
			playWave(seOk);
			stopMidi();
			leaving = 8;
		}
		buttonWas = button;
		mouseWas = mouse;
	}

	local title = cleared ? T.clear : T.timeUp;
	drawText(title, 320 - title.len() * 9, 70, 36, 255, cleared ? 240 : 150, cleared ? 120 : 150);
	drawText(cleared ? "STAGE CLEAR" : "TIME UP", 258, 116, 20, 255, 255, 255);
	drawText(T.score + "  " + score + "     " + T.gems + "  " + gems + " / 5", 200, 160, 20, 255, 255, 200);
	drawText(T.recordTitle + "  HIGH SCORES", 220, 214, 16, 200, 220, 255);
	foreach (i, e in table) {
		local on = i == rank;
		drawText((i + 1) + ".", 220, 244 + i * 26, 18, 255, 255, 255);
		drawText("" + e[0], 270, 244 + i * 26, 18, on ? 255 : 230, on ? 220 : 230, on ? 80 : 230);
		drawText(e[1] + " " + T.gems, 360, 244 + i * 26, 18, 200, 200, 255);
		if (on && tick % 20 < 14) drawText(T.newRecord, 430, 244 + i * 26, 18, 255, 120, 160);
	}
	drawText(T.back, 216, 420, 16, 220, 220, 255);
}

function onDraw()
{
	drawTextureFirst(0, 0, 0, 640, 480, 0, 0, 0, 640, 480, 0.6, 0.6, 0.7, 1.0, 0.0, 0.0);
	drawTextureFirst(1, 180, 200, 280, 170, 0, 0, 0, 256, 64, 1.0, 1.0, 1.0, 1.0, 0.0, 0.0);
	if (rank >= 0)
		drawTextureLast(2, 200, 254 + rank * 26, 24, 24, (tick * 9) % 360, 0, 0, 32, 32, 1.0, 1.0, 1.0, 1.0, 0.5, 0.5);
	drawTextureLast(3, getMouseX(), getMouseY(), 16, 32, 0, 0, 0, 16, 32, 1.0, 1.0, 1.0, 1.0, 0.0, 0.0);
}

function onUnload()
{
	unloadWave(seOk);
}
