function onLoad()
{
	local x = ;
}
