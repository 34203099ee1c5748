// lorvanta-strokegen: synthesises the 30 stroke recordings and writes them as
// WAV files (--wav-dir DIR) and/or as a C++ source embedding them (--cpp FILE).

#include "../common/Embed.h"
#include "Strokes.h"
#include "Synth.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

namespace {

using lorvanta::strokegen::kStrokeCount;

constexpr const char* kTool = "lorvanta-strokegen";

const char* const kUsage = "usage: lorvanta-strokegen [--wav-dir DIR] [--cpp FILE] [--list]\n";

std::string CppSource(const std::vector<std::vector<unsigned char>>& images) {
    std::vector<std::string> names;
    std::vector<std::uint16_t> resourceIds;
    for (int id = 0; id < kStrokeCount; ++id) {
        names.push_back(lorvanta::strokegen::StrokeName(id));
        resourceIds.push_back(lorvanta::strokegen::StrokeResourceId(id));
    }
    return lorvanta::tools::EmbeddedSource(kTool, "EmbeddedWaves", images, names, resourceIds);
}

bool WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    return lorvanta::tools::WriteFileAtomically(path, bytes, kTool);
}

} // namespace

int main(int argc, char** argv) {
    std::filesystem::path wavDir;
    std::filesystem::path cppFile;
    bool list = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--wav-dir" || arg == "--cpp") && i + 1 < argc) {
            (arg == "--wav-dir" ? wavDir : cppFile) = argv[++i];
        } else if (arg == "--list") {
            list = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else {
            std::cerr << "lorvanta-strokegen: unexpected argument '" << arg << "'\n" << kUsage;
            return 2;
        }
    }
    if (wavDir.empty() && cppFile.empty() && !list) {
        std::cerr << kUsage;
        return 2;
    }

    std::vector<std::vector<unsigned char>> images;
    for (int id = 0; id < kStrokeCount; ++id) {
        images.push_back(lorvanta::tools::WavImage(lorvanta::strokegen::MakeStroke(id)));
    }

    if (list) {
        for (int id = 0; id < kStrokeCount; ++id) {
            std::cout << id << '\t' << lorvanta::strokegen::StrokeResourceId(id) << '\t'
                      << lorvanta::strokegen::StrokeFrames(id) << '\t'
                      << lorvanta::strokegen::StrokeName(id) << '\n';
        }
    }
    if (!wavDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(wavDir, error);
        if (error) {
            std::cerr << "lorvanta-strokegen: cannot create " << wavDir << ": " << error.message()
                      << "\n";
            return 1;
        }
        for (int id = 0; id < kStrokeCount; ++id) {
            const auto& image = images[static_cast<std::size_t>(id)];
            if (!WriteFile(wavDir / (std::to_string(id) + ".wav"),
                           std::string(image.begin(), image.end()))) {
                return 1;
            }
        }
    }
    if (!cppFile.empty()) {
        if (cppFile.has_parent_path()) {
            std::error_code error;
            std::filesystem::create_directories(cppFile.parent_path(), error);
        }
        if (!WriteFile(cppFile, CppSource(images))) {
            return 1;
        }
    }
    return 0;
}
