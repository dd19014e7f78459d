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
    bool strict = false;
    std::vector<std::string> positional;
    for (const std::string& arg : args) {
        if (arg == "--rgb")
            rgb = true;
        else if (arg == "--strict")
            strict = true;
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

    // Like a player, go on past a damaged picture (reported here, repeated in
    // the output) unless asked to treat any damage as an error.
    const DamageHandler onDamage = [&](int64_t frameNumber, const std::string& reason) {
        if (!strict)
            std::fprintf(stderr, "%s: picture %lld: %s; the previous picture is repeated\n",
                         inputName.c_str(), (long long)frameNumber, reason.c_str());
        return !strict;
    };
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
                 onDamage, summary, error) &&
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
            onDamage, summary, error);
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
                 onDamage, summary, error) &&
             file.Commit(error);
        if (!ok && error.find(':') == std::string::npos) error = outputPath + ": " + error;
    }
    if (!ok) return Fail(error);
    std::string damage;
    if (summary.damaged > 0)
        damage = " (" + std::to_string(summary.damaged) + " damaged, shown as the picture before)";
    std::fprintf(stderr, "%s -> %s: %lld pictures of %dx%d%s, decoded at %.1f pictures/s\n",
                 inputName.c_str(), outputPath.c_str(), (long long)summary.frames, input.width,
                 input.height, damage.c_str(),
                 summary.seconds > 0 ? summary.decoded / summary.seconds : 0.0);
    return 0;
}

}  // namespace kmqx
