// Mesh-file reading speed on a 25 MB text mesh as exporters write them:
// positions, faces, materials with textures, normals and texture
// coordinates, CR LF line ends.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "model/mesh_data.h"
#include "model/render_mesh.h"

namespace {

constexpr size_t kTargetBytes = 25u << 20;
constexpr int kMaterials = 8;

void appendf(std::string& out, const char* format, double a, double b, double c, const char* end) {
    char buf[128];
    int n = std::snprintf(buf, sizeof buf, format, a, b, c, end);
    out.append(buf, size_t(n));
}

// A grid of quads split into triangles; sizes chosen so that the file
// comes to about 25 MB.
const std::vector<uint8_t>& meshFile() {
    static std::vector<uint8_t> bytes = [] {
        const int side = 370;  // side x side positions
        const int positions = side * side;
        const int cells = (side - 1) * (side - 1);
        std::mt19937 random(5);
        std::uniform_real_distribution<double> jitter(-1.0, 1.0);
        std::string t;
        t.reserve(kTargetBytes + (1u << 20));
        t += "xof 0303txt 0032\r\n\r\nFrame Root {\r\n FrameTransformMatrix {\r\n  1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,"
             "0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;;\r\n }\r\n";
        t += " Mesh {\r\n  " + std::to_string(positions) + ";\r\n";
        for (int i = 0; i < positions; ++i)
            appendf(t, "  %.6f;%.6f;%.6f;%s\r\n", (i % side) * 0.5 + jitter(random) * 0.01, jitter(random) * 3.0,
                    (i / side) * 0.5, i + 1 < positions ? "," : ";");
        t += "  " + std::to_string(cells * 2) + ";\r\n";
        auto faces = [&] {
            for (int c = 0; c < cells; ++c) {
                int x = c % (side - 1), z = c / (side - 1), p = z * side + x;
                char buf[96];
                int n = std::snprintf(buf, sizeof buf, "  3;%d,%d,%d;,\r\n  3;%d,%d,%d;%s\r\n", p, p + side, p + side + 1, p,
                                      p + side + 1, p + 1, c + 1 < cells ? "," : ";");
                t.append(buf, size_t(n));
            }
        };
        faces();
        t += "  MeshMaterialList {\r\n   " + std::to_string(kMaterials) + ";\r\n   " + std::to_string(cells * 2) +
             ";\r\n";
        for (int f = 0; f < cells * 2; ++f)
            t += "   " + std::to_string((f / 64) % kMaterials) + (f + 1 < cells * 2 ? ",\r\n" : ";\r\n");
        for (int m = 0; m < kMaterials; ++m) {
            t += "   Material {\r\n";
            appendf(t, "    %.6f;%.6f;%.6f;1.000000;;%s\r\n", m * 0.1, 0.5, 1.0 - m * 0.1, "");
            t += "    10.000000;\r\n    0.000000;0.000000;0.000000;;\r\n    0.000000;0.000000;0.000000;;\r\n";
            t += "    TextureFilename {\r\n     \"tex\\\\ground" + std::to_string(m) + ".bmp\";\r\n    }\r\n   }\r\n";
        }
        t += "  }\r\n  MeshNormals {\r\n   " + std::to_string(positions) + ";\r\n";
        for (int i = 0; i < positions; ++i)
            appendf(t, "   %.6f;%.6f;%.6f;%s\r\n", jitter(random) * 0.1, 0.99, jitter(random) * 0.1,
                    i + 1 < positions ? "," : ";");
        faces();
        t += "  }\r\n  MeshTextureCoords {\r\n   " + std::to_string(positions) + ";\r\n";
        for (int i = 0; i < positions; ++i) {
            char buf[64];
            int n = std::snprintf(buf, sizeof buf, "   %.6f;%.6f;%s\r\n", (i % side) / double(side),
                                  (i / side) / double(side), i + 1 < positions ? "," : ";");
            t.append(buf, size_t(n));
        }
        t += "  }\r\n }\r\n}\r\n";
        return std::vector<uint8_t>(t.begin(), t.end());
    }();
    return bytes;
}

void MeshFileParse(benchmark::State& state) {
    const std::vector<uint8_t>& file = meshFile();
    model::MESH_DATA mesh;
    for (auto _ : state) {
        bool ok = model::parseMeshMemory(mesh, file.data(), file.size());
        benchmark::DoNotOptimize(ok);
        if (!ok || mesh.normalFaceCount != mesh.faceCount) state.SkipWithError("the mesh was refused");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
    state.counters["file_MB"] = double(file.size()) / 1e6;
}
BENCHMARK(MeshFileParse)->Unit(benchmark::kMillisecond);

// Parsing and the main render build, as a model part or the field loads.
void MeshFileLoad(benchmark::State& state) {
    const std::vector<uint8_t>& file = meshFile();
    model::MESH_DATA mesh;
    model::RENDER_MESH out;
    for (auto _ : state) {
        bool ok = model::loadMeshMemory(mesh, file.data(), file.size(), out, 1.0f);
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}
BENCHMARK(MeshFileLoad)->Unit(benchmark::kMillisecond);

}  // namespace
