// The data store: string keys and values that outlive script files, and
// files to keep them in between runs.
function onLoad()
{
	setData("name", "Robin");
	setData("score", "" + 120);
	print("name: " + getData("name") + ", score: " + getData("score").tointeger());
	print("a missing key: '" + getData("level") + "'");
	setData("quote", "she said \"hi\"");
	print("saved: " + saveData("save.dat"));

	clearData();
	print("after clearData: '" + getData("name") + "'");
	print("loaded: " + loadData("save.dat"));
	print("the file holds: " + getLoadData());
	print("name before running it: '" + getData("name") + "'");
	compilestring(getLoadData())();		// the setData calls of the file
	print("name after running it: '" + getData("name") + "', quote: " + getData("quote"));

	print("a missing file: " + loadData("none.dat") + ", text now '" + getLoadData() + "'");
	print("a file that cannot be written: " + saveData("no\\such\\folder.dat"));
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
