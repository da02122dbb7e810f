#include <gtest/gtest.h>

#include <cstdint>

#include "platform/Failure.h"
#include "config/StoredValues.h"

namespace kx {
namespace {

TEST(StoredValues, HandleTextsNameTheSameWindowToEveryProgram) {
    struct Case {
        Text text;
        bool parses;           // KestrixTray's tick reads a number (else the tick is abandoned)
        std::int64_t number;   // what it compares with the foreground window
        Hwnd window;           // the window the main program shows
    };
    const Case cases[] = {
        {u"42", true, 42, 42},
        {u" 42", true, 42, 42},  // blanks around are ignored by both
        {u"42\t", true, 42, 42},
        {u"+7", true, 7, 7},
        {u"0", true, 0, 0},
        {u"4294967295", true, 4294967295LL, 0xFFFFFFFFu},
        {u"4294967296", true, 4294967296LL, 0},  // no 32-bit window has it
        {u"-1", true, -1, 0},
        {u"", false, 0, 0},
        {u"4 2", false, 0, 0},
        {u"0x2A", false, 0, 0},
        {u"99999999999999999999", false, 0, 0},
    };
    for (const Case& c : cases) {
        const std::string name(c.text.begin(), c.text.end());
        if (c.parses) {
            EXPECT_EQ(ParseHandleText(c.text), c.number) << name;
        } else {
            EXPECT_THROW(ParseHandleText(c.text), Failure) << name;
        }
        EXPECT_EQ(HandleTextWindow(c.text), c.window) << name;
    }
}

TEST(StoredValues, TheHandleTextOfAWindowReadsBackAsThatWindow) {
    for (Hwnd window : {Hwnd{1}, Hwnd{65546}, Hwnd{0xFFFFFFFFu}}) {
        EXPECT_EQ(HandleTextWindow(HandleText(window)), window);
    }
    EXPECT_EQ(HandleText(0), u"0");
}

TEST(StoredValues, UpdatedDateSecondsAndRegionalForms) {
    struct Case {
        Text text;
        bool regional;
        bool seconds;
        std::int32_t value;
    };
    const Case cases[] = {
        {u"1600000000", false, true, 1600000000},
        {u"-2147483648", false, true, INT32_MIN},
        {u"+2147483647", false, true, INT32_MAX},
        {u"2147483648", false, false, 0},
        {u" 5", false, false, 0},  // the seconds form allows no blanks
        {u"31.12.2021", false, false, 0},
        {u"12/31/2021", true, false, 0},
        {u"10:30", true, false, 0},
        {u"-", false, false, 0},
    };
    for (const Case& c : cases) {
        const std::string name(c.text.begin(), c.text.end());
        EXPECT_EQ(IsRegionalDateText(c.text), c.regional) << name;
        std::int32_t seconds = 0;
        EXPECT_EQ(ParseLocalSecondsText(c.text, &seconds), c.seconds) << name;
        if (c.seconds) {
            EXPECT_EQ(seconds, c.value) << name;
        }
    }
}

}  // namespace
}  // namespace kx
