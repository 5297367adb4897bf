// Sound: short waves played by handle, and one piece of MIDI music.
ticks <- 0;
beep <- -1;

function onLoad()
{
	beep = loadWave("beep.wav");			// wave\beep.wav
	print("beep: handle " + beep);
	local second = loadWave("beep.wav");	// the same file again: shared data, a new handle
	print("beep again: handle " + second);
	unloadWave(second);
	print("a missing wave: " + loadWave("none.wav"));
	playWave(99);							// no such handle: nothing happens

	print("a missing MIDI file: " + loadMidi("none.mid"));
	print("tune: " + loadMidi("tune.mid"));	// midi\tune.mid
	playMidi(0);							// from the start, looping
}

function onProc()
{
	ticks++;
	if (ticks % 10 == 1)
		playWave(beep);						// from the start, once
	if (ticks == 30) {
		setMidiValume(1000);				// fade out over a second, then stop
		print("fading out");
	}
	if (ticks == 45) {
		stopWave(beep);						// silent at once, back to the start
		setMainLoopEnd();
	}
	drawText("tick " + ticks, 20, 40, 20, 255, 255, 255);
}

function onDraw()
{
}

function onUnload()
{
	// Sounds outlive the script file: give them back.
	stopMidi();
	unloadMidi();
	unloadWave(beep);
	print("sounds given back");
}
