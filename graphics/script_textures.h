// graphics/script_textures.h
#pragma once
#include <cstdint>

namespace graphics {

class G_D3D;
class TextureStore;

constexpr int kScriptTextures = 100;
constexpr int kQueuedQuads = 100;

// One queued 2D image: a rectangle of a script texture, rotated about its
// pivot and tinted.
struct QueuedQuad {
    int tableIndex = -1;        // script texture, -1 for none
    int x = 0, y = 0;           // screen position of the pivot, pixels
    int width = 0, height = 0;  // drawn size, pixels
    int angle = 0;              // degrees, clockwise on screen
    uint32_t color = 0;         // 0xAARRGGBB
    int left = 0, top = 0, right = 0, bottom = 0;  // source rectangle, texels
    float pivotX = 0.0f, pivotY = 0.0f;           // fractions of width and height
    int last = 0;               // 0: behind the 3D scene, 1: over it
};

// The colour of a queued image from components 0.0-1.0: each scaled by
// 255, truncated toward zero and packed as 0xAARRGGBB without clamping, so
// a component out of range spills into its neighbours' bytes as scripts
// have always seen it (NaN and huge values count as 0x80000000).
uint32_t packQuadColour(float red, float green, float blue, float alpha);

// The scripts' 2D images: a table of 100 texture handles into the texture
// store, and the per-frame queue of 100 images drawn in two passes, one
// before the 3D scene and one after it. The script functions of the same
// names call these.
class ScriptTextures {
public:
    ScriptTextures();

    // Releases what `index` held and loads the file (relative to the game
    // folder) into it. False for an index outside 0-99, an unreadable file
    // or a full store; the entry is then empty.
    bool loadTexture(TextureStore& store, int index, const char* fileName);
    // Indices outside 0-99 and empty entries are ignored.
    void unloadTexture(TextureStore& store, int index);

    // Queue one image, its colour packed by packQuadColour. A full queue
    // ignores the call.
    void drawTextureFirst(int index, int x, int y, int width, int height, int angle, int left, int top,
                          int right, int bottom, float red, float green, float blue, float alpha,
                          float pivotX, float pivotY);
    void drawTextureLast(int index, int x, int y, int width, int height, int angle, int left, int top,
                         int right, int bottom, float red, float green, float blue, float alpha,
                         float pivotX, float pivotY);

    // Empties the table (every texture released) and the queue. Called on
    // every change of script file and at exit.
    void releaseAllScriptTextures(TextureStore& store);

    // One pass of the frame: Z off, every queued image whose `last` flag is
    // `pass` in queue order, Z on again. Must run inside the scene.
    void drawPass(G_D3D& d3d, int pass);
    // The queued images of one pass, without touching the Z state.
    void drawQueuedTextures(G_D3D& d3d, int pass);
    // Draws one image with the texture-store slot (-1: untextured).
    static void drawTexturedQuad(G_D3D& d3d, const QueuedQuad& entry, int storeSlot);
    // Appends one image; a full queue ignores it.
    void queue(const QueuedQuad& entry) {
        if (count < kQueuedQuads) this->queue_[count++] = entry;
    }
    // Ends the frame: the queue empties.
    void clearQueue() { count = 0; }

    int storeSlot(int index) const;  // -1 when empty or outside the table
    int queuedCount() const { return count; }
    const QueuedQuad& queued(int i) const { return queue_[i]; }

private:
    void push(int last, int index, int x, int y, int width, int height, int angle, int left, int top, int right,
              int bottom, float red, float green, float blue, float alpha, float pivotX, float pivotY);

    int table[kScriptTextures];  // texture-store slots, -1 when empty
    QueuedQuad queue_[kQueuedQuads];
    int count = 0;
};

}  // namespace graphics
