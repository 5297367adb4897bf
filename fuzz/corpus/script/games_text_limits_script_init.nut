// 101 texts in one tick (100 are kept) and one text of 300 bytes.
function onLoad()
{
}

function onProc()
{
	local long = "";
	for (local i = 0; i < 300; i++) long += "x";
	drawText(long, 1, 2, 20, 255, 128, 1);
	for (local i = 1; i < 101; i++) drawText("t" + i, i, i, 14, 0, 0, 0);
	for (local i = 0; i < 101; i++) setDebugMsg("d" + i);
}

function onDraw()
{
}

function onUnload()
{
}
