// The switch parser: the tilt angle, the debug level, refused letters and the switch trace.
#include <gtest/gtest.h>

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
