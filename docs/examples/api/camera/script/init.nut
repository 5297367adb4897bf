// The camera, conversions between the screen and the world, and picking
// the object under the mouse.
box <- null;
lastPick <- -2;

function onLoad()
{
	box = PorigonManager();
	box.index = 3;
	print("box: " + box.load("model\\box.cha"));
	box.x = 2.0;
	box.update();
	setCameraIti(0.0, 4.0, -10.0);		// the eye
	setCameraSiten(0.0, 0.0, 0.0);		// the point it looks at

	print("origin on screen: " + convert3Dto2D(0.0, 0.0, 0.0) + " at " + get3Dto2DX() + ", " + get3Dto2DY());
	print("box on screen: " + convert3Dto2D(2.0, 0.0, 0.0) + " at " + get3Dto2DX() + ", " + get3Dto2DY());
	print("far off to the side: " + convert3Dto2D(50.0, 0.0, 0.0) + " at " + get3Dto2DX() + ", " + get3Dto2DY());
	convert2Dto3D(320, 240, 10.0);
	print("10 along the centre of the screen: " + get2Dto3DX() + ", " + get2Dto3DY() + ", " + get2Dto3DZ());
}

function onProc()
{
	local slot = findNearMousePos();
	if (slot != lastPick) {
		lastPick = slot;
		print("mouse at " + getMouseX() + ", " + getMouseY() + ": slot " + slot + ", offset " + getFindResultX() + ", "
			+ getFindResultY() + ", " + getFindResultZ() + ", distance " + getFindResultDis());
	}
	drawText(slot >= 0 ? "the box is under the mouse" : "nothing under the mouse", 20, 440, 20, 255, 255, 255);
}

function onDraw()
{
	box.draw();
}

function onUnload()
{
}
