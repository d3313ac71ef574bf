// The first-use notice against fake host components and the current user's hive.
#include "preview/TipOfTheDay.h"

#include "tests/preview/FakeHost.h"

#include <gtest/gtest.h>

#include <functional>

using namespace fakehost;
using scanleaf::ShowTipOfTheDay;
using Events_ = std::vector<std::string>;

namespace {

const std::string kShown = "presenter.ShowNotice(4660,Drag a sheet onto the card.,6)";
const Events_ kFullRound = {
    "source.created",    "source.OpenCategory(KESTRAVO PDM,TipOfTheDay)",
    "source.GetTipText(1)", "presenter.created", kShown, "presenter.destroyed", "source.destroyed",
};

class TipOfTheDayTest : public testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(0, LiveComponents()); }

    static bool MarkIsDwordOne(const wchar_t* name) {
        auto mark = TipMarks::Read(name);
        return mark && mark->type == REG_DWORD && mark->data == DwordBytes(1);
    }

    TipMarks marks;
    ComponentHost host;
};

TEST_F(TipOfTheDayTest, FirstCallMakesKeysAndMarkBeforeAskingForTheTip) {
    if (!TipMarks::RemoveKeys()) GTEST_SKIP() << "the tip key holds values of its own";
    ASSERT_FALSE(TipMarks::KeyExists(KeyPath().back().c_str()));
    bool markedBeforeSource = false;
    Config().onSourceCreated = [&] { markedBeforeSource = MarkIsDwordOne(L"1"); };

    ShowTipOfTheDay(0x1234, 1);

    EXPECT_EQ(kFullRound, Events());
    EXPECT_TRUE(markedBeforeSource);
    EXPECT_TRUE(TipMarks::KeyExists(KeyPath().back().c_str()));
    EXPECT_TRUE(MarkIsDwordOne(L"1"));
}

TEST_F(TipOfTheDayTest, ResultBitTwoKeepsTheMarkAndLaterCallsDoNothing) {
    for (LONG result : {2L, 3L, 6L, -1L}) {
        SCOPED_TRACE(result);
        TipMarks::Remove(L"1");
        Events().clear();
        Config().noticeResult = result;

        ShowTipOfTheDay(0x1234, 1);
        EXPECT_EQ(kFullRound, Events());
        EXPECT_TRUE(MarkIsDwordOne(L"1"));

        Events().clear();
        ShowTipOfTheDay(0x1234, 1);
        EXPECT_TRUE(Events().empty());
    }
}

TEST_F(TipOfTheDayTest, ResultWithoutBitTwoRemovesTheMarkSoTheTipComesAgain) {
    for (LONG result : {0L, 1L, 4L, 5L, ~2L}) {
        SCOPED_TRACE(result);
        Events().clear();
        Config().noticeResult = result;

        ShowTipOfTheDay(0x1234, 1);
        EXPECT_EQ(kFullRound, Events());
        EXPECT_FALSE(TipMarks::Read(L"1").has_value());

        ShowTipOfTheDay(0x1234, 1);
        EXPECT_EQ(2u, EventsOf("presenter.ShowNotice").size());
    }
}

TEST_F(TipOfTheDayTest, OnlyAFourByteDwordCountsAsTheMark) {
    struct Case {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
        bool counts;
    };
    const Case cases[] = {
        {"dword 1", REG_DWORD, DwordBytes(1), true},
        {"dword 0", REG_DWORD, DwordBytes(0), true},
        {"dword all ones", REG_DWORD, DwordBytes(0xFFFFFFFF), true},
        {"big-endian 1", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}, true},
        {"big-endian 0", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 0}, true},
        {"string of 4 bytes", REG_SZ, {'1', 0, 0, 0}, false},
        {"binary of 4 bytes", REG_BINARY, DwordBytes(1), false},
        {"dword of 2 bytes", REG_DWORD, {1, 0}, false},
        {"dword of 8 bytes", REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}, false},
        {"qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, false},
        {"empty dword", REG_DWORD, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TipMarks::Write(L"1", c.type, c.data);
        Events().clear();

        ShowTipOfTheDay(0x1234, 1);

        auto after = TipMarks::Read(L"1");
        ASSERT_TRUE(after.has_value());
        if (c.counts) {
            EXPECT_TRUE(Events().empty());
            EXPECT_EQ(c.type, after->type);
            EXPECT_EQ(c.data, after->data);
        } else {
            EXPECT_EQ(kFullRound, Events());
            EXPECT_TRUE(MarkIsDwordOne(L"1"));
        }
    }
}

TEST_F(TipOfTheDayTest, AnyComponentFailureEndsTheRoundAndRemovesTheMark) {
    struct Case {
        const char* what;
        std::function<void(ComponentHost&)> arrange;
        Events_ expected;
    };
    const Case cases[] = {
        {"no text source", [](ComponentHost& h) { h.RevokeSource(); }, {}},
        {"text source without its interface", [](ComponentHost&) { Config().sourceHasInterface = false; },
         {"source.created", "source.destroyed"}},
        {"text source that won't run",
         [](ComponentHost&) {
             Config().sourceRunnable = true;
             Config().runResult = E_FAIL;
         },
         {"source.created", "source.Run", "source.destroyed"}},
        {"category refused", [](ComponentHost&) { Config().openCategoryResult = E_ACCESSDENIED; },
         {"source.created", "source.OpenCategory(KESTRAVO PDM,TipOfTheDay)", "source.destroyed"}},
        {"no tip text", [](ComponentHost&) { Config().tipTextResult = DISP_E_BADINDEX; },
         {"source.created", "source.OpenCategory(KESTRAVO PDM,TipOfTheDay)", "source.GetTipText(1)",
          "source.destroyed"}},
        {"no presenter", [](ComponentHost& h) { h.RevokePresenter(); },
         {"source.created", "source.OpenCategory(KESTRAVO PDM,TipOfTheDay)", "source.GetTipText(1)",
          "source.destroyed"}},
        {"presenter fails despite bit two",
         [](ComponentHost&) {
             Config().showNoticeResult = E_ABORT;
             Config().noticeResult = 2;
         },
         kFullRound},
    };
    host.RevokeSource();
    host.RevokePresenter();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ComponentHost local;  // fresh registrations and settings for each case
        c.arrange(local);

        ShowTipOfTheDay(0x1234, 1);

        EXPECT_EQ(c.expected, Events());
        EXPECT_FALSE(TipMarks::Read(L"1").has_value());
        EXPECT_EQ(0, LiveComponents());
    }
}

TEST_F(TipOfTheDayTest, RunnableTextSourceIsRunBeforeUse) {
    Config().sourceRunnable = true;
    ShowTipOfTheDay(0x1234, 1);
    Events_ expected = kFullRound;
    expected.insert(expected.begin() + 1, "source.Run");
    EXPECT_EQ(expected, Events());
}

TEST_F(TipOfTheDayTest, TipNumberNamesTheMarkAndTheTip) {
    TipMarks::Write(L"1", REG_DWORD, DwordBytes(1));  // tip 1 given already; tip 12 is not
    ShowTipOfTheDay(7, 12);
    EXPECT_EQ(Events_({"source.created", "source.OpenCategory(KESTRAVO PDM,TipOfTheDay)", "source.GetTipText(12)",
                       "presenter.created", "presenter.ShowNotice(7,Drag a sheet onto the card.,6)",
                       "presenter.destroyed", "source.destroyed"}),
              Events());
    EXPECT_TRUE(MarkIsDwordOne(L"12"));

    Events().clear();
    ShowTipOfTheDay(7, 12);
    EXPECT_TRUE(Events().empty());
}

} // namespace
