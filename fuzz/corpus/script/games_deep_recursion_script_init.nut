// An uncaught runaway recursion: its report keeps the innermost and the
// outermost frames of the call stack only.
function down(depth)
{
	return down(depth + 1) + 1;
}

function onLoad()
{
}

function onProc()
{
	down(0);
}

function onDraw()
{
}

function onUnload()
{
}
