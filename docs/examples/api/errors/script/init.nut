// What a call with the wrong arguments does: an error the script can
// catch. Uncaught, it ends the game with a box and a report in the log.
function attempt(name, call)
{
	try {
		local result = call();
		print(name + ": " + result);
	} catch (error) {
		print(name + ": error '" + error + "'");
	}
}

function onLoad()
{
	attempt("setCameraIti(0, 10, -20)", function() { return setCameraIti(0, 10, -20); });
	attempt("setCameraIti(0.0, 10.0, -20.0)", function() { return setCameraIti(0.0, 10.0, -20.0); });
	attempt("getInputButton(1.0)", function() { return getInputButton(1.0); });
	attempt("getInputButton()", function() { return getInputButton(); });
	attempt("getInputButton(1, \"extra\")", function() { return getInputButton(1, "extra"); });
	attempt("PorigonManager.draw on a board", function() { return PorigonManager.draw.call(BoardManager()); });
	attempt("PorigonManager(1)", function() { return PorigonManager(1); });
	attempt("a member that does not exist", function() { return BoardManager().size; });
	attempt("a function that does not exist", function() { return drawCircle(1); });
}

function onProc()
{
	// Not caught: the box "onProc" and the end of the game.
	setTitle(42);
}

function onDraw()
{
}

function onUnload()
{
}
