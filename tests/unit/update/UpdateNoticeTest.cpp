#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "app/MainCycle.h"
#include "platform/TrayIcon.h"
#include "config/Captions.h"
#include "platform/Failure.h"
#include "config/Settings.h"
#include "display/TrayIconStages.h"
#include "sim/SimPlatform.h"
#include "update/UpdateChecker.h"
#include "update/UpdateDates.h"
#include "update/UpdateNotice.h"

namespace kx {
namespace {

using sim::HttpRequest;
using sim::HttpResponse;
using sim::SimPlatform;
using sim::T;

const Text kSettingsPath = u"HKLM\\Software\\VELMOR\\Kestrix";
const Text kEnglishTitle = u"Kestrix Update";
const Text kEnglishHint =
    u"An update for Kestrix is available to download.  Click here to download and install the software update.";

std::vector<std::uint8_t> CaptionTable(const std::string& name) {
    std::ifstream in(std::string(KX_SOURCE_DIR) + "/resources/captions/" + name + ".txt", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class UpdateStage : public ::testing::Test {
protected:
    UpdateStage() {
        sim.world.localOffset100ns = 2LL * 3600 * 10000000;  // local time is two hours ahead of UTC
        sim.world.resources[u"ENGLISH"] = CaptionTable("ENGLISH");
        sim.world.resources[u"RUSSIAN"] = CaptionTable("RUSSIAN");
        Serve("VELMOR|1");
    }

    SimPlatform sim;
    SettingsStore settings{sim.registry};
    Captions captions{settings, sim.system};
    TrayIcon icon{sim.shell, sim.windows, sim.drawing, 0x30000, w32::kWmUser + 1};
    UpdateChecker checker{sim.network, sim.clock};
    UpdateNotice notice{sim.clock, settings, captions, icon, checker};
    int ticks = 0;

    void Serve(const std::string& body, std::uint32_t status = 200) {
        HttpResponse response;
        response.status = status;
        response.body = body;
        sim.world.httpServer = [response](const HttpRequest&) { return response; };
    }
    // UpdatedDate as whole local seconds, `days` before the current moment.
    void StoreDaysAgo(double days) {
        const std::int32_t seconds = DateTimeToLocalSeconds(CurrentMoment(sim.clock) - days);
        sim.world.SetString(kSettingsPath, u"UpdatedDate", T(std::to_string(seconds)));
    }
    // One tick: a second passes, then the stage runs.
    void Tick(bool iconShown = true) {
        sim.world.fileTimeUtc += 10000000;
        ++ticks;
        notice.UpdateNoticeStage(iconShown);
    }
    void RunUntil(int tick, bool iconShown = true) {
        while (ticks < tick) Tick(iconShown);
    }
    std::size_t Requests() const { return sim.world.httpRequests.size(); }
    // The balloon requests the shell received.
    std::vector<NotifyIconData> Balloons() const {
        std::vector<NotifyIconData> balloons;
        for (const auto& call : sim.world.notifyCalls) {
            if (call.message == w32::kNimModify && (call.data.uFlags & w32::kNifInfo) != 0) {
                balloons.push_back(call.data);
            }
        }
        return balloons;
    }
};

TEST_F(UpdateStage, MissingDateNeverAsks) {
    // Also after 19 January 2038, when the current moment's seconds no longer fit 32 bits.
    for (int year : {2022, 2040}) {
        SCOPED_TRACE(year);
        sim.world.SetLocalTime(SystemTime{static_cast<std::uint16_t>(year), 3, 0, 1, 9, 0, 0, 0});
        sim.world.httpRequests.clear();
        UpdateNotice stage{sim.clock, settings, captions, icon, checker};
        for (int tick = 1; tick <= 7200 + 2 * 86400; ++tick) {
            sim.world.fileTimeUtc += 10000000;
            stage.UpdateNoticeStage(true);
        }
        EXPECT_EQ(Requests(), 0u);
        EXPECT_EQ(stage.UpdateTickCounter(), 7200 + 2 * 86400 + 79200) << "a recent date never resets the counter";
    }
}

TEST_F(UpdateStage, EmptyDateCountsAsMissing) {
    sim.world.SetString(kSettingsPath, u"UpdatedDate", u"");
    RunUntil(7200 + 10);
    EXPECT_EQ(Requests(), 0u);
}

TEST_F(UpdateStage, OldDateAsksOnTick7200AndShowsTheNoticeOnce) {
    StoreDaysAgo(60);
    RunUntil(7199);
    EXPECT_EQ(Requests(), 0u);
    EXPECT_TRUE(Balloons().empty());

    Tick();
    EXPECT_EQ(Requests(), 1u);
    EXPECT_TRUE(notice.UpdateNotified());
    EXPECT_EQ(notice.UpdateTickCounter(), 0);
    const auto balloons = Balloons();
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_EQ(balloons[0].szInfoTitle, kEnglishTitle);
    EXPECT_EQ(balloons[0].szInfo, kEnglishHint);
    EXPECT_EQ(balloons[0].dwInfoFlags, w32::kNiifInfo);
    EXPECT_EQ(balloons[0].uTimeout, 10000u);
    EXPECT_EQ(icon.BalloonTitle(), kEnglishTitle);
    EXPECT_EQ(icon.BalloonHint(), kEnglishHint);

    // The counter keeps cycling, but nothing more is asked in this run.
    RunUntil(7200 + 3 * 86400);
    EXPECT_EQ(Requests(), 1u);
    EXPECT_EQ(notice.UpdateTickCounter(), 0);
    EXPECT_EQ(Balloons().size(), 1u);
}

TEST_F(UpdateStage, UpdateCheckPolicyOfZeroAsksNothingUntilItIsLifted) {
    const Text policyPath = u"HKLM\\Software\\Policies\\VELMOR\\Kestrix";
    StoreDaysAgo(60);
    sim.world.SetDword(policyPath, u"UpdateCheck", 0);
    RunUntil(7200 + 86400);
    EXPECT_EQ(Requests(), 0u);
    EXPECT_TRUE(Balloons().empty());
    EXPECT_FALSE(notice.UpdateNotified());

    // Lifted (a policy set to "Disabled" may delete the value): the next day's turn asks.
    sim.world.DeleteValue(policyPath, u"UpdateCheck");
    RunUntil(7200 + 2 * 86400);
    EXPECT_EQ(Requests(), 1u);
    EXPECT_EQ(Balloons().size(), 1u);
}

TEST_F(UpdateStage, DateJustShortOf46DaysWaitsForTheFirstTickWith46) {
    // At tick 7200 the date is 45 days and 23 hours old; one hour later it is 46 days.
    StoreDaysAgo(45.0 + 23.0 / 24 - 7200.0 / 86400);
    RunUntil(7200);
    EXPECT_EQ(Requests(), 0u);
    EXPECT_GE(notice.UpdateTickCounter(), 86400) << "the counter is not reset while the date is recent";
    RunUntil(7200 + 3599);
    EXPECT_EQ(Requests(), 0u);
    Tick();
    EXPECT_EQ(Requests(), 1u);
    EXPECT_EQ(Balloons().size(), 1u);
}

TEST_F(UpdateStage, DateInTheFutureCountsLikeThePast) {
    StoreDaysAgo(-50);
    RunUntil(7200);
    EXPECT_EQ(Requests(), 1u);
    EXPECT_EQ(Balloons().size(), 1u);
}

TEST_F(UpdateStage, RegionalDateTextIsParsed) {
    sim.world.SetString(kSettingsPath, u"UpdatedDate", u"3/1/2022 10:00");
    sim.world.dateParser = [](const Text& text, std::uint32_t, std::uint32_t, double* date) -> long {
        if (text != u"3/1/2022 10:00") return static_cast<long>(0x80020005L);
        *date = 44621.0 + 10.0 / 24;  // 2022-03-01 10:00, three months before the clock
        return 0;
    };
    RunUntil(7200);
    EXPECT_EQ(Requests(), 1u);
}

TEST_F(UpdateStage, ADateThatDoesNotConvertReadsAsMissing) {
    // A dotted date the regional format rejects, a word, seconds past 32 bits.
    for (const Text& stored : {Text(u"31.12.2021"), Text(u"yesterday"), Text(u"99999999999"), Text(u"1/x/2022")}) {
        SCOPED_TRACE(sim::U8(stored));
        UpdateNotice stage{sim.clock, settings, captions, icon, checker};
        sim.world.SetString(kSettingsPath, u"UpdatedDate", stored);
        for (int tick = 1; tick <= 7201; ++tick) ASSERT_NO_THROW(stage.UpdateNoticeStage(true)) << tick;
        EXPECT_EQ(Requests(), 0u) << "a date that is no date is no old update";
        EXPECT_EQ(stage.UpdateTickCounter(), 86401) << "the counter runs on as for a recent date";

        // Once the value is corrected, the next tick asks.
        StoreDaysAgo(60);
        stage.UpdateNoticeStage(true);
        EXPECT_EQ(Requests(), 1u);
        sim.world.httpRequests.clear();
    }
}

TEST_F(UpdateStage, AnswerOtherThanOneAsksAgainADayLater) {
    struct Case {
        const char* body;
        std::uint32_t status;
    };
    for (const Case& c : {Case{"VELMOR|0", 200}, Case{"VELMOR|2", 200}, Case{"VELMOR|1", 404}, Case{"", 200}}) {
        SCOPED_TRACE(std::string(c.body) + " " + std::to_string(c.status));
        sim.world.httpRequests.clear();
        UpdateNotice stage{sim.clock, settings, captions, icon, checker};
        Serve(c.body, c.status);
        StoreDaysAgo(60);
        auto run = [&](int count) {
            for (int i = 0; i < count; ++i) {
                sim.world.fileTimeUtc += 10000000;
                stage.UpdateNoticeStage(true);
            }
        };
        run(7200);
        EXPECT_EQ(Requests(), 1u);
        run(86399);
        EXPECT_EQ(Requests(), 1u);
        run(1);
        EXPECT_EQ(Requests(), 2u);
        EXPECT_FALSE(stage.UpdateNotified());
        EXPECT_TRUE(Balloons().empty());
    }
}

TEST_F(UpdateStage, HiddenIconIsShownForTheNoticeAndHiddenAgainNextTick) {
    // Stages 3 and 4 of the main cycle, with the icon hidden by setting.
    sim.world.SetDword(kSettingsPath, u"LoadTrayIcon", 0);
    LoadMeter meter{sim.system, sim.libraries};
    IconRenderer renderer{sim.windows, sim.drawing};
    TrayIconStages trayStages{sim.windows, sim.clock, sim.system, settings, icon, meter, renderer};
    TickStages stages;
    stages.trayVisibility = [&] { return trayStages.TrayVisibilityStage(); };
    stages.updateNotice = [&](bool shown) { notice.UpdateNoticeStage(shown); };
    MainCycle cycle{stages};
    auto tick = [&] {
        sim.world.fileTimeUtc += 10000000;
        cycle.MainTimerTimer();
    };
    StoreDaysAgo(60);
    for (int i = 1; i < 7200; ++i) tick();
    EXPECT_FALSE(icon.Visible());

    std::size_t before = sim.world.notifyCalls.size();
    tick();
    EXPECT_TRUE(notice.UpdateNotified());
    EXPECT_TRUE(icon.Visible());
    // The icon is added first, then the balloon is asked for on it.
    std::vector<std::uint32_t> messages;
    for (std::size_t i = before; i < sim.world.notifyCalls.size(); ++i) {
        messages.push_back(sim.world.notifyCalls[i].message);
    }
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), w32::kNimAdd);
    EXPECT_EQ(messages.back(), w32::kNimModify);
    ASSERT_EQ(Balloons().size(), 1u);
    EXPECT_EQ(Balloons()[0].szInfoTitle, kEnglishTitle);

    // The next tick follows the setting again: the icon goes, notice and all.
    before = sim.world.notifyCalls.size();
    tick();
    EXPECT_FALSE(icon.Visible());
    ASSERT_EQ(sim.world.notifyCalls.size(), before + 1);
    EXPECT_EQ(sim.world.notifyCalls.back().message, w32::kNimDelete);
}

TEST_F(UpdateStage, ShownIconIsLeftInPlaceForTheNotice) {
    icon.SetVisible(true);
    StoreDaysAgo(60);
    RunUntil(7199);
    const std::size_t before = sim.world.notifyCalls.size();
    Tick(true);
    for (std::size_t i = before; i < sim.world.notifyCalls.size(); ++i) {
        EXPECT_EQ(sim.world.notifyCalls[i].message, w32::kNimModify);
    }
    EXPECT_EQ(Balloons().size(), 1u);
}

TEST_F(UpdateStage, NoticeTakesTheLanguageSetAtThatMoment) {
    struct Case {
        const char16_t* language;
        Text title;
        Text hint;
    };
    const Case cases[] = {
        {u"english", kEnglishTitle, kEnglishHint},
        {u"Russian", T("Обновление Kestrix"),
         T("Обновление для Kestrix доступен для скачивания.  Кликните здесь, чтобы загрузить и установить "
           "обновление программы.")},
        {u"german", u"", u""},  // no such table: an empty notice
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(sim::U8(c.language));
        SimPlatform world;
        world.world.localOffset100ns = sim.world.localOffset100ns;
        world.world.resources = sim.world.resources;
        world.world.httpServer = sim.world.httpServer;
        SettingsStore store{world.registry};
        Captions tables{store, world.system};
        TrayIcon widget{world.shell, world.windows, world.drawing, 0x30000, w32::kWmUser + 1};
        widget.SetVisible(true);
        UpdateChecker ask{world.network, world.clock};
        UpdateNotice stage{world.clock, store, tables, widget, ask};
        world.world.SetString(kSettingsPath, u"UpdatedDate",
                              T(std::to_string(DateTimeToLocalSeconds(CurrentMoment(world.clock) - 60))));
        for (int tick = 1; tick < 7200; ++tick) stage.UpdateNoticeStage(true);
        // The language changes while the program runs, just before the notice.
        world.world.SetString(kSettingsPath, u"Language", c.language);
        stage.UpdateNoticeStage(true);
        ASSERT_TRUE(stage.UpdateNotified());
        EXPECT_EQ(widget.BalloonTitle(), c.title);
        EXPECT_EQ(widget.BalloonHint(), c.hint);
        ASSERT_FALSE(world.world.notifyCalls.empty());
        const NotifyIconData& last = world.world.notifyCalls.back().data;
        EXPECT_NE(last.uFlags & w32::kNifInfo, 0u) << "the notice is asked for even without texts";
        EXPECT_EQ(last.szInfoTitle, c.title);
        EXPECT_EQ(last.szInfo, c.hint);
    }
}

}  // namespace
}  // namespace kx
