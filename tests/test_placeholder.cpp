// placeholder test so the suite links
#include <gtest/gtest.h>
#include "shell/app_state.h"
TEST(AppState, ResetGivesInitialLine) {
    ResetAppState();
    EXPECT_EQ(g_App.Line.nBaud, 9600);
}
