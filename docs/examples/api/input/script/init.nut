// Input: the mouse as it is now, and the pad (arrow keys, Z X C S, or a
// game controller) as the current tick saw it.
last <- "";

function describe()
{
	local text = "mouse " + getMouseX() + ", " + getMouseY();
	if (getMouseLButton())
		text += " left";
	if (getMouseRButton())
		text += " right";
	text += " | pad";
	if (getInputUp())
		text += " up";
	if (getInputDown())
		text += " down";
	if (getInputLeft())
		text += " left";
	if (getInputRight())
		text += " right";
	for (local n = 0; n < 5; n++)
		if (getInputButton(n))
			text += " button" + n;
	return text;
}

function onLoad()
{
	print("button 5: " + getInputButton(5) + ", button -1: " + getInputButton(-1));
}

function onProc()
{
	local text = describe();
	if (text != last)
		print(text);
	last = text;
	drawText(text, 20, 220, 20, 255, 255, 255);
}

function onDraw()
{
}

function onUnload()
{
}
