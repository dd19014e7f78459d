#pragma once
// The pictures of a Y4M file, for the tests of the command-line tool.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/y4m.h"

namespace kmqx::test {

// Every frame's planes; a file that does not open fails the test.
inline std::vector<std::vector<uint8_t>> ReadY4m(const std::string& path) {
    Y4mReader reader;
    std::string error;
    std::vector<std::vector<uint8_t>> frames;
    EXPECT_TRUE(reader.Open(path, error)) << error;
    std::vector<uint8_t> planes;
    while (reader.ReadFrame(planes, error) == ReadStatus::kFrame) frames.push_back(planes);
    return frames;
}

}  // namespace kmqx::test
