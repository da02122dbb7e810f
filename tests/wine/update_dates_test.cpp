// wine-test: version=win10 desktop=no timeout=60
// The regional UpdatedDate texts of the shared table, read by the platform's
// own date parser with the English (United States) format: which texts the
// date-and-time parse accepts, and what the update schedule reads each as.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "../support/UpdatedDateTexts.h"
#include "platform/Failure.h"
#include "platform/win32/Win32Clock.h"
#include "update/UpdateDates.h"

namespace {

constexpr std::uint32_t kEnglishUnitedStates = 0x0409;

// Windows' clock, with the user's default locale fixed to English (United
// States), whatever the prefix was made with.
class FixedLocaleClock : public kx::IClock {
public:
    void GetLocalTime(kx::SystemTime* time) override { clock_.GetLocalTime(time); }
    void GetSystemTimeAsFileTime(std::int64_t* fileTime) override { clock_.GetSystemTimeAsFileTime(fileTime); }
    void Sleep(std::uint32_t milliseconds) override { clock_.Sleep(milliseconds); }
    std::uint64_t GetTickCount64() override { return clock_.GetTickCount64(); }
    long VarDateFromStr(const kx::Text& text, std::uint32_t lcid, std::uint32_t flags, double* date) override {
        return clock_.VarDateFromStr(text, lcid == kx::kLocaleUserDefault ? kEnglishUnitedStates : lcid, flags, date);
    }

private:
    kx::Win32Clock clock_;
};

std::string Narrow(const char16_t* text) {
    std::string narrow;
    for (; *text != 0; ++text) narrow.push_back(static_cast<char>(*text));
    return narrow;
}

TEST(UpdatedDateTexts, ThePlatformsParserReadsTheTableAsTheScheduleExpects) {
    FixedLocaleClock clock;
    for (const kx::tables::UpdatedDateText& row : kx::tables::kUpdatedDateTexts) {
        const std::string name = Narrow(row.text);
        DATE parsed = 0.0;
        const HRESULT full =
            ::VarDateFromStr(const_cast<wchar_t*>(reinterpret_cast<const wchar_t*>(row.text)), kEnglishUnitedStates, 0, &parsed);
        EXPECT_EQ(SUCCEEDED(full), row.fullParse) << name;
        if (row.read) {
            double moment = 0.0;
            EXPECT_NO_THROW(moment = kx::UpdatedDateToDateTime(row.text, clock)) << name;
            EXPECT_NEAR(moment, row.moment, 1e-9) << name;
        } else {
            EXPECT_THROW(kx::UpdatedDateToDateTime(row.text, clock), kx::Failure) << name;
        }
    }
}

}  // namespace
