#include <sys/stat.h>

#include <cstdio>

#include "convert/source_conversion.h"
#include "tools/bmp_writer.h"
#include "tools/commands.h"
#include "tools/sessions.h"

namespace kmqx {
namespace {

bool IsDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

int RunDecodeCommand(const std::vector<std::string>& args) {
    bool rgb = false;
    std::vector<std::string> positional;
    for (const std::string& arg : args) {
        if (arg == "--rgb")
            rgb = true;
        else if (arg.size() > 1 && arg[0] == '-')
            return Fail("decode: unknown option " + arg);
        else
            positional.push_back(arg);
    }
    if (positional.size() != 2) return Fail("decode: needs IN and OUT (kmqx --help)");
    const std::string& inputName = positional[0];
    const std::string& outputPath = positional[1];

    CompressedInput input;
    std::string error;
    if (!LoadCompressedInput(inputName, input, error)) return Fail(inputName + ": " + error);

    DecodeSummary summary;
    bool ok = false;
    if (!rgb) {
        Y4mWriter writer;
        Y4mHeader header;
        header.width = input.width;
        header.height = input.height;
        header.rate = input.rate;
        if (!writer.Open(outputPath, header, error)) return Fail(outputPath + ": " + error);
        ok = DecodeToPlanar(
                 input, inputName,
                 [&](const PlanarFrame& picture, std::string& reason) {
                     if (writer.WriteFrame(picture, reason)) return true;
                     reason = outputPath + ": " + reason;
                     return false;
                 },
                 summary, error) &&
             writer.Commit(error);
        if (!ok && error.find(':') == std::string::npos) error = outputPath + ": " + error;
    } else if (IsDirectory(outputPath)) {
        int64_t index = 0;
        ok = DecodeToRgb(
            input, inputName,
            [&](const uint8_t* dib, std::string& reason) {
                char name[32];
                std::snprintf(name, sizeof name, "/frame_%05lld.bmp", (long long)index++);
                const std::string path = outputPath + name;
                if (WriteBmp(path, dib, input.width, input.height, reason)) return true;
                reason = path + ": " + reason;
                return false;
            },
            summary, error);
    } else {
        OutputFile file;
        if (!file.Open(outputPath, error)) return Fail(outputPath + ": " + error);
        const size_t frameSize = Rgb24Stride(input.width) * size_t(input.height);
        ok = DecodeToRgb(
                 input, inputName,
                 [&](const uint8_t* dib, std::string& reason) {
                     if (file.Write(dib, frameSize, reason)) return true;
                     reason = outputPath + ": " + reason;
                     return false;
                 },
                 summary, error) &&
             file.Commit(error);
        if (!ok && error.find(':') == std::string::npos) error = outputPath + ": " + error;
    }
    if (!ok) return Fail(error);
    std::fprintf(stderr, "%s -> %s: %lld pictures of %dx%d, decoded at %.1f pictures/s\n",
                 inputName.c_str(), outputPath.c_str(), (long long)summary.frames, input.width,
                 input.height, summary.seconds > 0 ? summary.frames / summary.seconds : 0.0);
    return 0;
}

}  // namespace kmqx
