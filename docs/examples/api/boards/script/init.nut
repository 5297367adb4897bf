// Billboards: flat pictures in the 3D scene, turned to the camera, drawn
// normally, over everything, or added to what is behind them.
ticks <- 0;
sparks <- [];

function onLoad()
{
	print("spark: " + loadTexture(0, "image\\spark.bmp"));
	local fresh = BoardManager();
	print("a new board: textureIndex " + fresh.textureIndex + ", scaleX " + fresh.scaleX + ", right "
		+ fresh.right + ", colorA " + fresh.colorA + ", effectType " + fresh.effectType);
	foreach (i, x in [-3.0, 0.0, 3.0]) {
		local spark = BoardManager();
		spark.textureIndex = 0;
		spark.right = 32.0;		// the whole 32 x 32 picture
		spark.bottom = 32.0;
		spark.scaleX = 2.0;		// two units wide and high
		spark.scaleY = 2.0;
		spark.scaleZ = 2.0;
		spark.x = x;
		spark.y = 1.0;
		spark.effectType = i;	// 0 normal, 1 over everything, 2 added
		sparks.append(spark);
	}
	sparks[0].colorB = 0.2;		// a yellower spark
	setCameraIti(0.0, 3.0, -20.0);
	setCameraSiten(0.0, 1.0, 0.0);
}

function onProc()
{
	ticks++;
}

function onDraw()
{
	foreach (spark in sparks) {
		spark.rote = ticks * 10.0;	// a turn in the picture's own plane
		spark.lookAtCamera();
		spark.draw();
	}
}

function onUnload()
{
}
