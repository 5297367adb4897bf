// The game's texts (code page 932), made by tools/make_demo_assets.py.
return {
	start = "はじめる"
	records = "きろく"
	quit = "おわる"
	howto = "星を5つ集めよう！  矢印キーで歩き、クリックで旗を立てる"
	recordTitle = "ハイスコア"
	plays = "あそんだ回数"
	score = "スコア"
	time = "のこり"
	gems = "星"
	go = "スタート！"
	clear = "クリア！"
	timeUp = "じかんぎれ"
	newRecord = "しんきろく！"
	back = "Z かクリックでタイトルへ"
	selected = "えらんだもの"
	names = ["ゆうしゃ", "星", "水晶", "岩", "木", "木箱", "池", "旗"]
};
