#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kmqx {

// The kmqx commands; each takes the arguments after its name and returns
// the process exit status. Errors go to standard error as one line.
int RunEncodeCommand(const std::vector<std::string>& args);
int RunDecodeCommand(const std::vector<std::string>& args);
int RunDemoCommand(const std::vector<std::string>& args);

extern const char kUsage[];
extern const char kProgramVersion[];

// Command-line helpers shared by the commands.
bool ParseInt(const std::string& text, int64_t low, int64_t high, int32_t& value);
bool ParseRate(const std::string& text, uint32_t& numerator, uint32_t& denominator);
// A bit rate: digits with an optional k (x1000) or M (x1000000), from 8 bits
// a second up to what the driver takes (2^31 - 1 bytes a second).
bool ParseBitRate(const std::string& text, int64_t& bitsPerSecond);
int Fail(const std::string& message);
// A rate in bits a second as "N.N kbit/s".
std::string FormatKilobits(double bitsPerSecond);

}  // namespace kmqx
