#include <gtest/gtest.h>

#include "app/SystemFont.h"

namespace kx {
namespace {

struct FontCase {
    std::int32_t height;
    int pixelsPerInch;
    std::int32_t heightAfter;
    int sizeAfter;
};

class SystemFontLimit : public ::testing::TestWithParam<FontCase> {};

TEST_P(SystemFontLimit, KeepsTheFormFontAtNinePointsAtMost) {
    const FontCase& c = GetParam();
    FormFont font{u"Segoe UI", c.height, c.pixelsPerInch};
    ApplySystemFont(font, {});
    EXPECT_EQ(font.height, c.heightAfter);
    EXPECT_EQ(font.Size(), c.sizeAfter);
    EXPECT_EQ(font.face, u"Segoe UI");
}

INSTANTIATE_TEST_SUITE_P(Fonts, SystemFontLimit,
                         ::testing::Values(FontCase{-16, 96, -12, 9},   // 12 points become 9
                                           FontCase{-12, 96, -12, 9},   // 9 points stay
                                           FontCase{-11, 96, -11, 8},   // 8 points stay
                                           FontCase{-24, 144, -18, 9},  // 12 points at 150 %
                                           FontCase{-20, 144, -18, 9},  // 10 points at 150 %
                                           FontCase{16, 96, 16, -12}));  // a cell height reads as a negative size

TEST(SystemFont, ComponentsWithAFontOfTheirOwnTakeTheFormsFaceAndAtLeastItsSize) {
    FormFont form{u"Tahoma", -16, 96};
    FormFont small{u"Arial", -8, 96};
    FormFont large{u"Arial", -20, 96};
    FormFont inherited{u"Arial", -8, 96};
    ApplySystemFont(form, {{&small, false}, {&large, false}, {&inherited, true}});
    EXPECT_EQ(small.face, u"Tahoma");
    EXPECT_EQ(small.Size(), 9);
    EXPECT_EQ(large.face, u"Tahoma");
    EXPECT_EQ(large.height, -20) << "a larger component font keeps its size";
    EXPECT_EQ(inherited.face, u"Arial") << "a font taken from the parent is left alone";
}

TEST(SystemFont, MulDivRoundsHalvesAwayFromZero) {
    EXPECT_EQ(MulDiv(9, 96, 72), 12);
    EXPECT_EQ(MulDiv(-13, 72, 96), -10);  // -9.75
    EXPECT_EQ(MulDiv(-11, 72, 96), -8);   // -8.25
    EXPECT_EQ(MulDiv(1, 3, 2), 2);        // 1.5
    EXPECT_EQ(MulDiv(-1, 3, 2), -2);
    EXPECT_EQ(MulDiv(5, 1, 0), -1);
}

}  // namespace
}  // namespace kx
