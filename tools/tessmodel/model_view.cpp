// A viewer made of the host itself: a game folder with the model and a
// script, so the maker sees exactly what a game will draw.
#include "model_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "model/model_data.h"
#include "model/objects.h"

namespace tessmodel {

namespace {

void collectMessage(const std::string&, const std::string&) {}

// Left and right step through the loaded animations (only on the tick a
// key goes down); button 0 holds the frame.
const char* const kScript = R"(// tessmodel view: the model turning, its animations by the arrow keys.
function onLoad()
{
	setTitle("tessmodel view");
	setCameraIti(%CX%, %EY%, %EZ%);
	setCameraSiten(%CX%, %CY%, %CZ%);
	::model <- PorigonManager();
	model.index = 0;
	if (!model.load("model\\%DESCRIPTION%")) print("the model could not be loaded");
	::slots <- [];
	for (local i = 0; i < 30; i += 1)
		if (model.getMaxAnimeFrame(i) > 0) slots.append(i);
	::current <- 0;
	for (local i = 0; i < slots.len(); i += 1)
		if (slots[i] == %ANIME%) current = i;
	::frame <- 0;
	::tick <- 0;
	::held <- false;
}

function onProc()
{
	tick += 1;
	local left = getInputLeft(), right = getInputRight();
	if (slots.len() > 0 && (left || right) && !held) {
		current = (current + (right ? 1 : slots.len() - 1)) % slots.len();
		frame = 0;
	}
	held = left || right;
	model.ry = tick * 2.0;
	if (slots.len() > 0) {
		model.animeIndex = slots[current];
		if (!getInputButton(0)) frame = (frame + 1) % (model.getMaxAnimeFrame(slots[current]) + 1);
		model.animeFrame = frame;
	}
	model.update();
}

function onDraw()
{
	model.draw();
}

function onUnload()
{
}
)";

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", std::isfinite(v) ? v : 0.0);
    return buf;
}

void replaceAll(std::string& text, const std::string& key, const std::string& value) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
        text.replace(at, key.size(), value);
}

}  // namespace

bool writeViewGame(const std::string& descriptionPath, int animeSlot, const std::string& gameFolder,
                   std::string& error) {
    namespace fs = std::filesystem;
    std::string windowsPath = descriptionPath;
    for (char& c : windowsPath)
        if (c == '/') c = '\\';
    graphics::TextureStore* store = model::textureStore();
    model::setTextureStore(nullptr);
    model::setMessagePresenter(collectMessage);
    auto chara = std::make_unique<model::CHARA>();
    bool loaded = model::loadDescription(*chara, windowsPath.c_str()) && chara->model.highestPart >= 0;
    model::setMessagePresenter(nullptr);
    model::setTextureStore(store);
    if (!loaded) {
        error = descriptionPath + ": the description, its model or an animation cannot be read";
        return false;
    }
    // The rest size of every drawn part frames the camera.
    double lo[3] = {1e30, 1e30, 1e30}, hi[3] = {-1e30, -1e30, -1e30};
    const model::MODEL_DATA& m = chara->model;
    for (int i = 0; i <= m.highestPart; ++i)
        for (const render::LVertex& v : m.parts[i].mesh.vertices) {
            const double p[3] = {v.x * m.scale, v.y * m.scale, v.z * m.scale};
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], p[k]);
                hi[k] = std::max(hi[k], p[k]);
            }
        }
    if (lo[0] > hi[0]) lo[0] = lo[1] = lo[2] = hi[0] = hi[1] = hi[2] = 0;
    // An animation that moves the model (its keys' translations) widens
    // the frame, so the model never walks out of view.
    double reach[3] = {0, 0, 0};
    for (const model::ANIME_DATA& anime : chara->animations)
        for (const model::ANIME_TRACK& track : anime.tracks) {
            if (!track.enabled) continue;
            for (const model::ANIME_KEY& key : track.keys) {
                if (key.frame < 0) break;
                for (int k = 0; k < 3; ++k)
                    if (std::isfinite(key.translation[k]))
                        reach[k] = std::max(reach[k], std::fabs(double(key.translation[k]) * m.scale));
            }
        }
    for (int k = 0; k < 3; ++k) {
        lo[k] -= std::min(reach[k], 1e4);
        hi[k] += std::min(reach[k], 1e4);
    }
    double radius = 0;
    for (int k = 0; k < 3; ++k) radius = std::max(radius, (hi[k] - lo[k]) / 2);
    radius = std::max(radius, 0.5);
    const double c[3] = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};

    std::error_code failed;
    fs::create_directories(fs::path(gameFolder) / "script", failed);
    fs::create_directories(fs::path(gameFolder) / "model", failed);
    fs::path source = fs::path(descriptionPath).parent_path();
    if (source.empty()) source = ".";
    for (const fs::directory_entry& entry : fs::directory_iterator(source, failed)) {
        if (!entry.is_regular_file()) continue;
        fs::copy_file(entry.path(), fs::path(gameFolder) / "model" / entry.path().filename(),
                      fs::copy_options::overwrite_existing, failed);
        if (failed) break;
    }
    if (failed) {
        error = gameFolder + ": the model cannot be copied (" + failed.message() + ")";
        return false;
    }
    std::string script = kScript;
    replaceAll(script, "%CX%", number(c[0]));
    replaceAll(script, "%CY%", number(c[1]));
    replaceAll(script, "%CZ%", number(c[2]));
    // Past the host's near plane (1 unit) with the whole model in view.
    replaceAll(script, "%EY%", number(c[1] + radius * 0.8));
    replaceAll(script, "%EZ%", number(c[2] - radius * 3.0 - 1.5));
    replaceAll(script, "%ANIME%", std::to_string(animeSlot));
    replaceAll(script, "%DESCRIPTION%", fs::path(descriptionPath).filename().string());
    std::ofstream out(fs::path(gameFolder) / "script" / "init.nut", std::ios::binary);
    out << script;
    if (!out.flush()) {
        error = gameFolder + ": the script cannot be written";
        return false;
    }
    return true;
}

}  // namespace tessmodel
