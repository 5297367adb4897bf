function onLoad()
{
	print("next");
}

function onProc()
{
}

function onDraw()
{
}
