// Star Garden: the title screen.
//
// A menu in Japanese and English, moved with the arrow keys or the pad and
// chosen with button 0 (Z) or a mouse click; music that loops after its
// intro and fades out when the game starts; the high-score table read
// back from the saved data.

::T <- dofile("script\\text.nut", true);
::MENU_X <- 232;
::MENU_Y <- 292;
::MENU_STEP <- 44;

// The saved table: entries "hs0" to "hs4" hold "SCORE GEMS", "plays" the
// number of games finished. The file is script text of setData calls.
function loadRecords()
{
	if (loadData("records.dat")) {
		try {
			compilestring(getLoadData())();
		} catch (e) {
			print("records.dat unreadable: " + e);
		}
	}
}

function onLoad()
{
	setTitle("Star Garden");
	setCameraIti(0.0, 0.0, -10.0);
	setCameraSiten(0.0, 0.0, 0.0);
	loadTexture(0, "image\\title.bmp");
	loadTexture(1, "image\\logo.g24");
	loadTexture(2, "image\\cursor.bmp");
	loadTexture(3, "image\\pointer.bmp");
	::seMove <- loadWave("move.wav");
	::seOk <- loadWave("ok.wav");
	// The loop starts after the two-bar intro: 8 quarter notes of 768 ticks.
	if (loadMidi("title.mid")) playMidi(8 * 768);

	loadRecords();
	::plays <- getData("plays");
	if (plays == "") plays = "0";
	::best <- getData("hs0");
	if (best != "") print("records: " + plays + " plays, best " + best);

	::cursor <- 0;
	::tick <- 0;
	::leaving <- -1;      // ticks left of the fade-out, -1 while choosing
	::choice <- -1;
	::showRecords <- false;
	::heldUp <- 0;
	::heldDown <- 0;
	::buttonWas <- true;  // a button still held from the last screen is no press
	::mouseWas <- true;
	::debugOn <- false;
	::debugWas <- false;
	::lastMouseX <- getMouseX();
	::lastMouseY <- getMouseY();
}

function itemAt(mx, my)
{
	for (local i = 0; i < 3; i += 1) {
		local y = MENU_Y + i * MENU_STEP;
		if (mx >= MENU_X - 40 && mx < MENU_X + 240 && my >= y - 6 && my < y + 34) return i;
	}
	return -1;
}

function moveCursor(to)
{
	if (to == cursor) return;
	cursor = to;
	playWave(seMove);
}

// Held directions repeat after 6 ticks, every 3 ticks.
function repeatPress(held)
{
	return held == 1 || (held > 6 && held % 3 == 0);
}

function choose()
{
	playWave(seOk);
	if (cursor == 1) {
		showRecords = !showRecords;
		return;
	}
	choice = cursor;
	leaving = 20;
	setMidiValume(900);
	print("title: " + (cursor == 0 ? "start" : "quit"));
}

function onProc()
{
	tick += 1;
	if (leaving >= 0) {
		leaving -= 1;
		if (leaving == 0) {
			if (choice == 0) setNextFilePath("script\\level.nut");
			setMainLoopEnd();
		}
		return;
	}
	heldUp = getInputUp() ? heldUp + 1 : 0;
	heldDown = getInputDown() ? heldDown + 1 : 0;
	if (repeatPress(heldUp)) moveCursor((cursor + 2) % 3);
	if (repeatPress(heldDown)) moveCursor((cursor + 1) % 3);

	local mx = getMouseX(), my = getMouseY();
	local over = itemAt(mx, my);
	if ((mx != lastMouseX || my != lastMouseY) && over >= 0) moveCursor(over);
	lastMouseX = mx;
	lastMouseY = my;

	local button = getInputButton(0);
	local mouse = getMouseLButton();
	if (button && !buttonWas) choose();
	else if (mouse && !mouseWas && over >= 0) {
		moveCursor(over);
		choose();
	}
	buttonWas = button;
	mouseWas = mouse;

	drawMenu();
	local debug = getInputButton(2);
	if (debug && !debugWas) debugOn = !debugOn;
	debugWas = debug;
	if (debugOn) setDebugMsg("title tick " + tick + " cursor " + cursor + " mouse " + mx + "," + my);
}

function drawMenu()
{
	local labels = [[T.start, "START"], [T.records, "RECORDS"], [T.quit, "QUIT"]];
	foreach (i, item in labels) {
		local y = MENU_Y + i * MENU_STEP;
		local on = i == cursor;
		drawText(item[0], MENU_X + 2, y + 2, 24, 20, 10, 40);
		drawText(item[0], MENU_X, y, 24, on ? 255 : 200, on ? 230 : 200, on ? 120 : 220);
		drawText(item[1], MENU_X + 130, y + 6, 16, on ? 255 : 150, on ? 200 : 160, on ? 90 : 200);
	}
	drawText(T.howto, 120, 436, 14, 200, 210, 255);
	drawText("Arrows / pad: move   Z / click: choose   Esc: end", 142, 454, 14, 160, 170, 220);
	if (best != "") drawText("BEST " + best.slice(0, best.find(" ")), 520, 12, 16, 255, 230, 140);
	if (showRecords) drawRecords();
}

function drawRecords()
{
	drawText(T.recordTitle + "  HIGH SCORES", 420, 150, 16, 255, 255, 255);
	for (local i = 0; i < 5; i += 1) {
		local entry = getData("hs" + i);
		local line = (i + 1) + ".  ";
		if (entry == "") line += "---";
		else {
			local space = entry.find(" ");
			line += entry.slice(0, space) + "  (" + entry.slice(space + 1) + " gems)";
		}
		drawText(line, 430, 178 + i * 22, 16, 230, 230, 150);
	}
	drawText(T.plays + " " + plays, 430, 296, 14, 200, 200, 255);
}

function onDraw()
{
	drawTextureFirst(0, 0, 0, 640, 480, 0, 0, 0, 640, 480, 1.0, 1.0, 1.0, 1.0, 0.0, 0.0);
	local bob = (sin(tick * 0.15) * 6.0).tointeger();
	local fade = leaving >= 0 ? leaving / 20.0 : 1.0;
	drawTextureLast(1, 320, 120 + bob, 597, 75, 0, 0, 0, 398, 50, 1.0, 1.0, 1.0, fade, 0.5, 0.5);
	local y = MENU_Y + cursor * MENU_STEP + 14;
	drawTextureLast(2, MENU_X - 24, y, 28, 28, (tick * 9) % 360, 0, 0, 32, 32, 1.0, 1.0, 1.0, 1.0, 0.5, 0.5);
	drawTextureLast(3, getMouseX(), getMouseY(), 16, 32, 0, 0, 0, 16, 32, 1.0, 1.0, 1.0, 1.0, 0.0, 0.0);
}

function onUnload()
{
	unloadWave(seMove);
	unloadWave(seOk);
}
