// A game folder of damaged files, written by the test before the run:
// every image, wave, MIDI file, mesh, model, animation, description, field
// and save is broken in its own way, init.dat asks for a colour depth of 7
// and input.dat is cut short. Files under dev\ are /dev/zero, a FIFO and
// links to them, named directly, through ..\ and from a description and a
// mesh: each is refused at once, never read. The script loads each, prints what the host
// answered, survives a runaway recursion and a string of 16 MiB, and ends
// the game on its third tick. The host must answer every file with a
// refusal or a message box and never crash.
tick <- 0;
big <- "";

function show(what, result)
{
	print(what + " " + result);
}

function down(depth)
{
	return down(depth + 1) + 1;
}

function onLoad()
{
	foreach (name in ["img\\huge.bmp", "img\\short.bmp", "img\\bad.g2", "img\\bad.gp", "img\\empty.bmp"])
		show(name, loadTexture(0, name));
	foreach (name in ["channels.wav", "long_data.wav", "empty.wav"])
		show(name, loadWave(name));
	foreach (name in ["no_tracks.mid", "cut.mid"])
		show(name, loadMidi(name));
	local p = PorigonManager();
	foreach (i, name in ["model\\bad_mesh.cha", "model\\bad_model.cha", "model\\bad_anime.cha",
	                     "model\\bad_slot.cha", "model\\binary.cha"]) {
		p.index = i;
		show(name, p.load(name));
	}
	show("field\\nan.x", loadField("field\\nan.x"));
	show("field\\bad.x", loadField("field\\bad.x"));
	foreach (name in ["dev\\zero.bmp", "dev\\fifo.bmp", "dev\\link.bmp"])
		show(name, loadTexture(1, name));
	show("dev\\zero.x", loadField("dev\\zero.x"));
	show("dev\\fifo.x", loadField("dev\\fifo.x"));
	show("dev\\zero.dat", loadData("dev\\zero.dat"));
	try {
		dofile("dev\\fifo.nut");
	} catch (e) {
		print("dofile: " + e);
	}
	show("..\\dev\\fifo.wav", loadWave("..\\dev\\fifo.wav"));
	foreach (i, name in ["dev\\zero.cha", "model\\dev_model.cha", "model\\dev_box.cha",
	                     "model\\dev_texture.cha"]) {
		p.index = 10 + i;
		show(name, p.load(name));
	}
	show("save.dat", loadData("save.dat"));
	try {
		compilestring(getLoadData())();
	} catch (e) {
		print("save text: " + e);
	}
	try {
		down(0);
	} catch (e) {
		print("recursion: " + e);
	}
	big = "0123456789abcdef";
	while (big.len() < 16 * 1024 * 1024)
		big += big;
	print("big " + big.len());
	setData("big", big);
	show("save big", saveData("big.dat"));
	show("load big", loadData("big.dat"));
	show("loaded", getLoadData().len());
	setTitle(big);
	setDebugMsg(big);
}

function onProc()
{
	tick++;
	playWave(0);
	playMidi(0);
	if (tick == 3)
		setMainLoopEnd();
}

function onDraw()
{
	drawText(big, 0, 0, 16, 255, 255, 255);
	drawTextureFirst(0, 0, 0, 64, 64, 0, 0, 64, 64, 255, 1.0, 1.0, 0.0, 0.0, 0.0, 1.0);
	drawField();
}

function onUnload()
{
}

// expect: img\huge.bmp false
// expect: img\short.bmp false
// expect: img\bad.g2 false
// expect: img\bad.gp false
// expect: img\empty.bmp false
// expect: channels.wav -1
// expect: long_data.wav -1
// expect: empty.wav -1
// expect: no_tracks.mid false
// expect: cut.mid false
// expect: model\bad_mesh.cha true
// expect: model\bad_model.cha true
// expect: model\bad_anime.cha false
// expect: model\bad_slot.cha false
// expect: model\binary.cha true
// expect: field\nan.x false
// expect: field\bad.x false
// expect: dev\zero.bmp false
// expect: dev\fifo.bmp false
// expect: dev\link.bmp false
// expect: dev\zero.x false
// expect: dev\fifo.x false
// expect: dev\zero.dat false
// expect: dofile: cannot open the file
// expect: ..\dev\fifo.wav -1
// expect: dev\zero.cha false
// expect: model\dev_model.cha true
// expect: model\dev_box.cha true
// expect: model\dev_texture.cha true
// expect: save.dat true
// expect: save text: expression expected
// expect: recursion: stack overflow
// expect: big 16777216
// expect: save big true
// expect: load big true
// expect: loaded 16777234
