// The tesserae program: runs the game folder named on the command line.
#include <cstdio>

#include "app/options.h"
#include "app/program.h"

namespace {

constexpr const char* kVersionText = "tesserae 0.1.0";

}  // namespace

int main(int argc, char** argv) {
    app::Options options;
    std::string error;
    switch (app::parseOptions(argc, argv, options, error)) {
        case app::ParseResult::Help: fputs(app::usageText().c_str(), stdout); return 0;
        case app::ParseResult::Version: printf("%s\n", kVersionText); return 0;
        case app::ParseResult::Error:
            fprintf(stderr, "tesserae: %s\n%s", error.c_str(), app::usageText().c_str());
            return 2;
        case app::ParseResult::Run: break;
    }
    return app::runProgram(options);
}
