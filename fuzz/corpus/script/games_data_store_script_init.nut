// Saves entries with awkward characters, reloads them by running the
// saved text, and checks that a failed save reports false.
function onLoad()
{
	setData("b", "2");
	setData("a", "1");
	setData("quote", "say \"hi\"\\ now");
	setData("lines", "one\ntwo\r\n");
	print("saved " + saveData("save.txt"));
	clearData();
	print("after clear [" + getData("a") + "]");
	print("loaded " + loadData("save.txt"));
	print("text " + getLoadData().len());
	compilestring(getLoadData())();
	print("a=" + getData("a") + " b=" + getData("b"));
	print("quote=" + getData("quote"));
	print("lines ok " + (getData("lines") == "one\ntwo\r\n"));
	print("missing " + loadData("nothing.txt") + " [" + getLoadData() + "] a=" + getData("a"));
	print("failed save " + saveData("nofolder\\x.txt"));
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

// expect: saved true
// expect: after clear []
// expect: loaded true
// expect: text 102
// expect: a=1 b=2
// expect: quote=say "hi"\ now
// expect: lines ok true
// expect: missing false [] a=1
// expect: failed save false
