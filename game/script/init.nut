// The demo game's first script.
function onLoad()
{
	print("Tesserae demo: loaded");
}

function onProc()
{
}

function onDraw()
{
}

function onUnload()
{
}
