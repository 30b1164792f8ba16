// The switch parser: each letter's range, comparisons and empty-value rules.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <tuple>

#include "run/opt.h"
#include "run/state.h"

namespace {

auto settings()
{
    return std::tie(ANGLE, isTest, Amp, iBOKE, iGRAY, iDivN, exiro, exsyu, iPEN1, iPEN2, iMode, isNUM,
                    iOFFSET, isSunpo, iMOJI_w);
}

// Each test starts from the start values and puts them back when it ends.
class Switches : public testing::Test {
protected:
    decltype(std::make_tuple(ANGLE, isTest, Amp, iBOKE, iGRAY, iDivN, exiro, exsyu, iPEN1, iPEN2, iMode,
                             isNUM, iOFFSET, isSunpo, iMOJI_w)) saved = settings();
    void TearDown() override { settings() = saved; }

    // Runs the switches in order; returns what they printed on standard error.
    std::string given(std::initializer_list<const char*> switches)
    {
        testing::internal::CaptureStderr();
        for (const char* s : switches) {
            std::string arg = s;
            opt(arg.data());
        }
        return testing::internal::GetCapturedStderr();
    }
};

}  // namespace

TEST_F(Switches, AngleTakesLessThan360InMagnitude)
{
    given({"/P30"});
    EXPECT_EQ(30.0, ANGLE);
    given({"-p359.9"});
    EXPECT_EQ(359.9, ANGLE);
    given({"/p-359.9", "/p360", "/p-360", "/p", "/pnan"});
    EXPECT_EQ(-359.9, ANGLE);
    given({"/pabc"});
    EXPECT_EQ(0.0, ANGLE);
}

TEST_F(Switches, AValueGivenApartIsASwitchOfItsOwn)
{
    EXPECT_EQ("\n illegal Option.\n", given({"/p", "-30"}));
    EXPECT_EQ(10.0, ANGLE);
}

TEST_F(Switches, RefusedLettersWarnAndSetNothing)
{
    auto before = saved;
    EXPECT_EQ("\n illegal Option.\n\n illegal Option.\n\n illegal Option.\n\n illegal Option.\n",
              given({"/f", "/X1", "-", "/"}));
    EXPECT_TRUE(before == settings());
    EXPECT_EQ("", given({"/u", "/U99"}));
}

TEST_F(Switches, DebugLevelIsTheFirstDigitFrom1To6)
{
    testing::internal::CaptureStdout();  // level 3 traces the switch
    given({"/t35"});
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(3, isTest);
    for (const char* s : {"/t", "/t0", "/t7", "/tx2"}) {
        given({"/t2", s});
        EXPECT_EQ(0, isTest) << s;
    }
}

TEST_F(Switches, RangesCountBothBoundsAndNeedAChange)
{
    given({"/b0", "/b7", "/d501", "/c-1", "/n2", "/o6", "/g11", "/h-1"});
    EXPECT_TRUE(saved == settings());
    given({"/b1", "/d500", "/c0", "/n1", "/o5", "/g10", "/h0", "/a0.5"});
    EXPECT_EQ(std::make_tuple(1, 500, 0, 1, 5, 10, 0, 0.5), std::make_tuple(iBOKE, iDivN, iGRAY, isNUM, iOFFSET, iPEN1, iPEN2, Amp));
    given({"/a0.49", "/b", "/cx"});
    EXPECT_EQ(0.5, Amp);
    EXPECT_EQ(1, iBOKE);
    EXPECT_EQ(0, iGRAY);  // a value text that is no number reads as 0
}

TEST_F(Switches, LettersThatAlwaysSet)
{
    given({"/e123"});
    EXPECT_EQ(std::make_pair(12, 3), std::make_pair(exiro, exsyu));
    given({"/e-7"});
    EXPECT_EQ(std::make_pair(0, -7), std::make_pair(exiro, exsyu));
    given({"/e"});
    EXPECT_EQ(std::make_pair(0, 0), std::make_pair(exiro, exsyu));
    given({"/m9"});
    EXPECT_EQ(9, iMode);
    given({"/m-4"});
    EXPECT_EQ(1, iMode);
    given({"/m9", "/m"});
    EXPECT_EQ(1, iMode);
    given({"/w100"});
    EXPECT_EQ(30, iMOJI_w);
    given({"/w-5"});
    EXPECT_EQ(-5, iMOJI_w);
    given({"/sanything"});
    EXPECT_EQ(1, isSunpo);
}

TEST_F(Switches, HugeValuesAreClamped)
{
    given({"/w-99999999999999999999", "/e99999999999999999999"});
    EXPECT_EQ(INT_MIN, iMOJI_w);
    EXPECT_EQ(std::make_pair(INT_MAX / 10, INT_MAX % 10), std::make_pair(exiro, exsyu));
}

TEST_F(Switches, TraceAboveLevel2ShowsTheValueText)
{
    testing::internal::CaptureStdout();
    given({"/p20", "/t3", "-s", "/p45", "/q9"});
    EXPECT_EQ("# --- command line option ---------------\n# --- (/3)\n"
              "# --- command line option ---------------\n# --- (/s)\n"
              "# --- command line option ---------------\n# --- (/45)\n"
              "# --- command line option ---------------\n# --- (/q9)\n",
              testing::internal::GetCapturedStdout());
}
