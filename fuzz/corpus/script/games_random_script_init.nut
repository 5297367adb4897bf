// Prints random numbers: on the virtual clock the generator is seeded
// with a fixed value, so two runs print the same numbers.
function onLoad()
{
	print(rand() + " " + rand() + " " + rand());
}

function onProc()
{
	setMainLoopEnd();
}

function onDraw()
{
}

function onUnload()
{
}
