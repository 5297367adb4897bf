// A display in a scratch game folder, model files written in code, and the
// frame's camera, light and 2D images for drawing a scene store.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../graphics/test_display.h"
#include "../model/model_files.h"
#include "graphics/camera.h"
#include "graphics/lighting.h"
#include "graphics/script_textures.h"
#include "model/model_data.h"
#include "model/system_assets.h"
#include "scene/scene_store.h"

namespace scene_test {

using model_test::KeyRecord;
using model_test::MaterialRecord;
using model_test::MeshLayout;
using model_test::PartRecord;

// The unit cube (corners at +-1) in one colour.
inline MeshLayout colouredCube(float r, float g, float b, float a = 1.0f) {
    MeshLayout mesh = model_test::cubeMesh();
    mesh.materials = {MaterialRecord{r, g, b, a, ""}};
    return mesh;
}

// A box from (0, -h, -h) to (length, h, h): an arm turning about its base.
inline MeshLayout armMesh(float length, float h, float r, float g, float b) {
    MeshLayout mesh = model_test::cubeMesh();
    for (render::Vec3& p : mesh.positions) {
        p.x = p.x > 0 ? length : 0.0f;
        p.y *= h;
        p.z *= h;
    }
    mesh.materials = {MaterialRecord{r, g, b, 1.0f, ""}};
    return mesh;
}

class SceneFixture : public graphics_test::DisplayFixture {
protected:
    void SetUp() override {
        DisplayFixture::SetUp();
        model::setModelFolder("");
        // Host copies of the system files come from an empty folder.
        model::setHostAssetRoot((folder.root() / "host").string());
    }
    void TearDown() override {
        store.reset();
        model::setTextureStore(nullptr);
        model::setHostAssetRoot("");
    }

    void openDisplay(int width = 96, int height = 72) {
        d3d = createDisplay(32, width, height);
        model::setTextureStore(&d3d->textures());
        d3d->setAlphaMode();
    }

    void writeText(const std::string& path, const std::string& text) const {
        folder.write(path, model_test::bytesOf(text));
    }

    // "NAME.cha" naming "NAME.mdl", one part (kind 1) drawing "NAME.x".
    void writeModel(const std::string& name, const MeshLayout& mesh, const std::string& extra = "") const {
        writeText(name + ".x", mesh.text());
        PartRecord part;
        part.kind = 1;
        part.name = "body";
        part.meshFile = name + ".x";
        folder.write(name + ".mdl", model_test::modelFile({part}));
        writeText(name + ".cha", "MODEL:[" + name + ".mdl]\r\n" + extra);
    }

    // The quad of the billboard model at the game's own path.
    void writeBoardModel() const {
        MeshLayout quad = model_test::quadMesh();
        // Facing +z, as lookAtCamera turns a board's +z side to the eye.
        quad.positions = {{0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0}, {-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}};
        model_test::flatNormals(quad, {0.0f, 0.0f, 1.0f});
        writeText("system\\board\\board.x", quad.text());
        PartRecord part;
        part.kind = 1;
        part.name = "board";
        part.meshFile = "board.x";
        folder.write("system\\board\\board.mdl", model_test::modelFile({part}));
        writeText("system\\board\\board.cha", "MODEL:[board.mdl]\r\n");
    }

    // One frame of the draw step, as the main loop brackets it.
    void drawFrame() {
        ASSERT_TRUE(d3d->beginFrame());
        ASSERT_TRUE(d3d->beginScene());
        camera.updateView();
        d3d->device()->setTransform(render::Transform::View, camera.view());
        store.drawFrame({*d3d, lighting, camera, textures});
        d3d->endScene();
    }

    scene::ObjectRecord object(int index, float x, float y, float z) const {
        scene::ObjectRecord o;
        o.index = index;
        o.x = x;
        o.y = y;
        o.z = z;
        return o;
    }

    std::unique_ptr<graphics::G_D3D> d3d;
    graphics::Camera camera;
    graphics::Lighting lighting;
    graphics::ScriptTextures textures;
    scene::SceneStore store;
};

}  // namespace scene_test
