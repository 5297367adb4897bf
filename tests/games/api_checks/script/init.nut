// Argument checks, member conversions and the classes' defaults, as a
// script sees them. Each line printed is compared with the expect lines.
function check(name, f)
{
	try {
		local result = f();
		print(name + ": " + result);
	} catch (e) {
		print(name + ": error " + e);
	}
}

function onLoad()
{
	check("setCameraIti ints", function() { return setCameraIti(0, 10, -20); });
	check("setCameraIti floats", function() { return setCameraIti(0.0, 10.0, -20.0); });
	check("getInputButton float", function() { return getInputButton(1.0); });
	check("getInputButton 1", function() { return getInputButton(1); });
	check("getInputButton 5", function() { return getInputButton(5); });
	check("getInputButton -1", function() { return getInputButton(-1); });
	check("too few", function() { return setCameraIti(1.0, 2.0); });
	check("extra ignored", function() { return getMouseX(1, 2, 3); });
	check("missing argument", function() { return loadTexture(1); });
	check("loadTexture 100", function() { return loadTexture(100, "a.bmp"); });
	check("nothing returned", function() { return setTitle("x"); });
	check("getData missing", function() { return "[" + getData("none") + "]"; });

	local o = PorigonManager();
	check("defaults", function() : (o) { return o.index + " " + o.isObst + " " + o.scaleX + " " + o.isAlpha; });
	local b = BoardManager();
	check("board defaults", function() : (b) { return b.textureIndex + " " + b.scaleX + " " + b.colorA; });
	o.isAlpha = 1;
	check("bool from 1", function() : (o) { return o.isAlpha; });
	o.isAlpha = true;
	check("bool from true", function() : (o) { return o.isAlpha; });
	o.index = 2.9;
	check("int from 2.9", function() : (o) { return o.index; });
	o.x = 3;
	check("float from 3", function() : (o) { return o.x + 0.5; });
	o.index = "text";
	check("int from string", function() : (o) { return o.index; });
	check("assignment value", function() : (o) { return (o.index = 2.9); });
	check("missing member", function() : (o) { return o.nosuch; });
	check("draw on a table", function() { return PorigonManager.draw.call({}); });
	check("board method on porigon", function() : (o) { return BoardManager.draw.call(o); });
	check("constructor argument", function() { return PorigonManager(1); });
	check("checkHit ints", function() : (o) { return o.checkHit(0, 0, 0, 1, 1, 1); });
	check("checkObst float", function() : (o) { return o.checkObst(1.0, true); });
	check("checkObst int flag", function() : (o) { return o.checkObst(1, 1); });
	check("members are per class", function() : (o, b) { b.x = 7.0; return o.x + " " + b.x; });

	setCameraIti(0.0, 0.0, 0.0);
	o.x = 0.0; o.y = 0.0; o.z = 5.0;
	o.lookAtCamera();
	check("look behind", function() : (o) { return o.ry; });
	o.z = -5.0;
	o.lookAtCamera();
	check("look ahead", function() : (o) { return o.ry; });
	check("types table", function() { return __SqTypes.len(); });
	check("ext", function() { return ext; });
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

// expect: setCameraIti ints: error Incorrect function argument
// expect: setCameraIti floats: (null : 0x00000000)
// expect: getInputButton float: error Incorrect function argument
// expect: getInputButton 1: false
// expect: getInputButton 5: false
// expect: getInputButton -1: false
// expect: too few: error Incorrect function argument
// expect: extra ignored: 0
// expect: missing argument: error Incorrect function argument
// expect: loadTexture 100: false
// expect: nothing returned: (null : 0x00000000)
// expect: getData missing: []
// expect: defaults: -1 true 1 false
// expect: board defaults: -1 0 1
// expect: bool from 1: false
// expect: bool from true: true
// expect: int from 2.9: 2
// expect: float from 3: 3.5
// expect: int from string: 0
// expect: assignment value: 2.9
// expect: missing member: error the index 'nosuch' does not exist
// expect: draw on a table: error Invalid Instance Type
// expect: board method on porigon: error Invalid Instance Type
// expect: constructor argument: error wrong number of parameters
// expect: checkHit ints: error Incorrect function argument
// expect: checkObst float: error Incorrect function argument
// expect: checkObst int flag: error Incorrect function argument
// expect: members are per class: 3 7
// expect: look behind: 180
// expect: look ahead: 0
// expect: types table: 3
// expect: ext: .nut
