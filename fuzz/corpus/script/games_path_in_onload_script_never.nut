function onLoad()
{
	print("never");
}
