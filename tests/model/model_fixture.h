// A scratch game folder with a texture store on an adapter alone.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/texture_store.h"
#include "model/model_data.h"
#include "model/system_assets.h"
#include "model_files.h"
#include "platform/message_box.h"
#include "render/adapter.h"

namespace model_test {

class ModelFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::clearShownMessageBoxes();
        store.setFormats(render::PixelFormat::A8R8G8B8, render::PixelFormat::Unknown, false);
        model::setTextureStore(&store);
        model::setModelFolder("");
        // Host copies come from an empty folder unless a test makes some.
        model::setHostAssetRoot((folder.root() / "host").string());
    }
    void TearDown() override {
        model::setTextureStore(nullptr);
        model::setHostAssetRoot("");
    }

    void write(const std::string& path, const std::string& text) const { folder.write(path, bytesOf(text)); }
    void write(const std::string& path, const Bytes& bytes) const { folder.write(path, bytes); }
    void writeTexture(const std::string& path) const {
        folder.write(path, graphics_test::makeBmp24(2, 2, [](int, int) { return 0x808080u; }));
    }

    // "caption|text" of each box shown since SetUp, in UTF-8.
    static std::vector<std::string> boxes() {
        std::vector<std::string> out;
        for (const auto& box : platform::shownMessageBoxes()) out.push_back(box.caption + "|" + box.text);
        return out;
    }

    ScratchFolder folder;
    render::Adapter adapter;
    graphics::TextureStore store{adapter};
};

}  // namespace model_test
