#include "graphics/script_textures.h"

#include <cmath>

#include "graphics/g_d3d.h"
#include "render/vertex.h"

namespace graphics {

namespace {

constexpr float kPi = 3.1415926f;

}  // namespace

ScriptTextures::ScriptTextures() {
    for (int& slot : table) slot = -1;
}

int ScriptTextures::storeSlot(int index) const {
    return index >= 0 && index < kScriptTextures ? table[index] : -1;
}

bool ScriptTextures::loadTexture(TextureStore& store, int index, const char* fileName) {
    if (index < 0 || index >= kScriptTextures) return false;
    if (table[index] >= 0) {
        store.releaseTexture(table[index]);
        table[index] = -1;
    }
    store.setTextureFolder("");
    table[index] = store.findOrLoadTexture(fileName);
    return table[index] >= 0;
}

void ScriptTextures::unloadTexture(TextureStore& store, int index) {
    if (index < 0 || index >= kScriptTextures || table[index] < 0) return;
    store.releaseTexture(table[index]);
    table[index] = -1;
}

uint32_t packQuadColour(float red, float green, float blue, float alpha) {
    auto scale = [](float component) {
        float value = component * 255.0f;
        if (!(value > -2147483904.0f && value < 2147483648.0f)) return uint32_t(0x80000000u);
        return uint32_t(int32_t(value));
    };
    return ((scale(alpha) << 8 | scale(red)) << 8 | scale(green)) << 8 | scale(blue);
}

void ScriptTextures::push(int last, int index, int x, int y, int width, int height, int angle, int left, int top,
                          int right, int bottom, float red, float green, float blue, float alpha, float pivotX,
                          float pivotY) {
    QueuedQuad q;
    q.tableIndex = index;
    q.x = x;
    q.y = y;
    q.width = width;
    q.height = height;
    q.angle = angle;
    q.color = packQuadColour(red, green, blue, alpha);
    q.left = left;
    q.top = top;
    q.right = right;
    q.bottom = bottom;
    q.pivotX = pivotX;
    q.pivotY = pivotY;
    q.last = last;
    queue(q);
}

void ScriptTextures::drawTextureFirst(int index, int x, int y, int width, int height, int angle, int left, int top,
                                      int right, int bottom, float red, float green, float blue, float alpha,
                                      float pivotX, float pivotY) {
    push(0, index, x, y, width, height, angle, left, top, right, bottom, red, green, blue, alpha, pivotX, pivotY);
}

void ScriptTextures::drawTextureLast(int index, int x, int y, int width, int height, int angle, int left, int top,
                                     int right, int bottom, float red, float green, float blue, float alpha,
                                     float pivotX, float pivotY) {
    push(1, index, x, y, width, height, angle, left, top, right, bottom, red, green, blue, alpha, pivotX, pivotY);
}

void ScriptTextures::releaseAllScriptTextures(TextureStore& store) {
    for (int& slot : table) {
        if (slot >= 0) store.releaseTexture(slot);
        slot = -1;
    }
    for (QueuedQuad& q : queue_) q.tableIndex = -1;
    count = 0;
}

void ScriptTextures::drawPass(G_D3D& d3d, int pass) {
    render::Device* device = d3d.device();
    if (!device) return;
    device->setRenderState(render::RenderState::ZEnable, 0u);
    drawQueuedTextures(d3d, pass);
    device->setRenderState(render::RenderState::ZEnable, 1u);
}

void ScriptTextures::drawQueuedTextures(G_D3D& d3d, int pass) {
    for (int i = 0; i < count; ++i) {
        const QueuedQuad& q = queue_[i];
        if (q.last == pass) drawTexturedQuad(d3d, q, storeSlot(q.tableIndex));
    }
}

void ScriptTextures::drawTexturedQuad(G_D3D& d3d, const QueuedQuad& entry, int storeSlot) {
    render::Device* device = d3d.device();
    if (!device) return;
    render::TLVertex* v = d3d.quadVertices();

    // Untextured images get texture coordinates 0.
    float tw = 0.0f, th = 0.0f;
    if (storeSlot >= 0) {
        const render::Rect& size = d3d.textures().textureSlot(storeSlot).size;
        tw = float(size.right - size.left);
        th = float(size.bottom - size.top);
    }
    auto coordinate = [](int texel, float extent) { return extent > 0.0f ? float(texel) / extent : 0.0f; };
    const float u0 = coordinate(entry.left, tw), u1 = coordinate(entry.right, tw);
    const float v0 = coordinate(entry.top, th), v1 = coordinate(entry.bottom, th);
    v[0].tu = u0, v[0].tv = v0;
    v[1].tu = u1, v[1].tv = v0;
    v[2].tu = u1, v[2].tv = v1;
    v[3].tu = u0, v[3].tv = v1;

    const float w = float(entry.width), h = float(entry.height);
    const float px = entry.pivotX, py = entry.pivotY;
    const float offsets[4][2] = {
        {-px * w, -py * h}, {(1 - px) * w, -py * h}, {(1 - px) * w, (1 - py) * h}, {-px * w, (1 - py) * h}};
    const float theta = float(entry.angle) * kPi / 180.0f;
    const float c = std::cos(theta), s = std::sin(theta);
    for (int i = 0; i < 4; ++i) {
        const float ox = offsets[i][0], oy = offsets[i][1];
        v[i].sx = ox * c - oy * s + float(entry.x);
        v[i].sy = ox * s + oy * c + float(entry.y);
        v[i].color = entry.color;
    }
    d3d.textures().bindTexture(storeSlot);
    device->drawPrimitive(render::Primitive::TriangleFan, v, 4);
}

}  // namespace graphics
