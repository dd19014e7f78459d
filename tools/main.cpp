#include <cstdio>
#include <string>
#include <vector>

#include "tools/commands.h"

int main(int argc, char** argv) {
    using namespace kmqx;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version") {
        std::printf("%s\n", kProgramVersion);
        return 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "encode") return RunEncodeCommand(rest);
    if (args[0] == "decode") return RunDecodeCommand(rest);
    if (args[0] == "demo") return RunDemoCommand(rest);
    Fail("unknown command '" + args[0] + "' (kmqx --help lists them)");
    return 2;
}
