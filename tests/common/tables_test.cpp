#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/h263_tables.h"

namespace kmqx {
namespace {

std::string Bits(const VlcCode& c) {
    std::string s;
    for (int i = c.length - 1; i >= 0; --i) s += ((c.code >> i) & 1) ? '1' : '0';
    return s;
}

// A variable-length table decodes only if no code is a prefix of another.
template <typename Table>
void ExpectPrefixFree(const Table& codes, const char* name) {
    for (size_t i = 0; i < codes.size(); ++i) {
        for (size_t j = 0; j < codes.size(); ++j) {
            if (i == j) continue;
            EXPECT_NE(codes[j].rfind(codes[i], 0), 0u)
                << name << ": " << codes[i] << " is a prefix of " << codes[j];
        }
    }
}

TEST(CodeTables, EveryTableIsPrefixFree) {
    std::vector<std::string> intra, inter, cbpy, mvd, tcoef;
    for (const auto& c : kMcbpcIntra) intra.push_back(Bits(c));
    for (const auto& c : kMcbpcInter) inter.push_back(Bits(c));
    for (const auto& c : kCbpy) cbpy.push_back(Bits(c));
    for (const auto& c : kMvd) mvd.push_back(Bits(c));
    for (const auto& c : kTcoef) tcoef.push_back(Bits({c.code, c.length}));
    tcoef.push_back(Bits(kTcoefEscape));
    ExpectPrefixFree(intra, "MCBPC intra");
    ExpectPrefixFree(inter, "MCBPC inter");
    ExpectPrefixFree(cbpy, "CBPY");
    ExpectPrefixFree(mvd, "MVD");
    ExpectPrefixFree(tcoef, "TCOEF");
}

TEST(CodeTables, KnownCodesAndEventRanges) {
    EXPECT_EQ(Bits(kMcbpcIntra[0]), "1");
    EXPECT_EQ(Bits(kMcbpcInter[kMcbpcInterStuffing]), "000000001");
    EXPECT_EQ(Bits(kCbpy[15]), "11");
    EXPECT_EQ(Bits(kMvd[32]), "000000000010");
    EXPECT_EQ(Bits(kTcoefEscape), "0000011");
    // The events are unique and ordered LAST, RUN, LEVEL as the standard lists them.
    std::set<int> seen;
    int previous = -1;
    for (const auto& e : kTcoef) {
        int key = e.last * 10000 + e.run * 100 + e.level;
        EXPECT_TRUE(seen.insert(key).second);
        EXPECT_GT(key, previous);
        previous = key;
    }
}

TEST(CodeTables, ZigzagIsAPermutationStartingAtDc) {
    std::set<int> seen(std::begin(kZigzag), std::end(kZigzag));
    EXPECT_EQ(seen.size(), 64u);
    EXPECT_EQ(kZigzag[0], 0);
    EXPECT_EQ(kZigzag[1], 1);
    EXPECT_EQ(kZigzag[2], 8);
    EXPECT_EQ(kZigzag[63], 63);
}

}  // namespace
}  // namespace kmqx
