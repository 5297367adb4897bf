// render/png_writer.h
#pragma once
#include <cstdint>
#include <vector>

#include "render/surface.h"

namespace render {

// Encodes the surface as an 8-bit RGB PNG into `out` (replacing its
// contents). False, with `out` empty, when the surface is lost or a depth
// surface or encoding fails.
bool encodePng(const Surface& surface, std::vector<uint8_t>& out);

}  // namespace render
