// The scratch game folder the model harnesses run in: what a fuzzed model,
// description or animation names (box.x, box.mdl, box.mot, box_box.x) is
// there, so an input can reach the code behind a successful reference.
// The folder is made once per process and removed at its end.
#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "../tests/model/model_files.h"
#include "../tests/scene/field_files.h"
#include "model/model_data.h"

namespace fuzz {

inline void enterAssetFolder() {
    // A plain array: the removal at exit runs after static strings die.
    static char root[] = "/tmp/tesserae-fuzz-XXXXXX";
    static const bool made = [] {
        if (!mkdtemp(root) || chdir(root) != 0) abort();
        const std::string folder = std::string(root) + "/";
        field_test::writeBoxModel(folder, "box", 1.0f, 2.0f, 1.0f, "ANIME:[0,box.mot]\r\n");
        model_test::KeyRecord first, last;
        first.frame = 0;
        last.frame = 10;
        last.ry = 90;
        last.ty = 1.0f;
        field_test::writeFile(folder + "box.mot", model_test::animeFile("box.mdl", {{first, last}}, 10));
        atexit([] { std::filesystem::remove_all(root); });
        return true;
    }();
    (void)made;
    model::setMessagePresenter([](const std::string&, const std::string&) {});
    model::setModelFolder("");
}

}  // namespace fuzz
