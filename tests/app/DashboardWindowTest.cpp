// The dashboard window against recording fakes: entry, creation, the stop
// command and the close path.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "app/PVelastrom.h"
#include "fakes/Fakes.h"

namespace velastrom {
namespace {

using fakes::FakeApplication;
using fakes::FakePlatform;
using fakes::Log;
using ::testing::ElementsAre;

std::vector<std::string> Matching(const Log& log, const std::string& prefix)
{
    std::vector<std::string> out;
    std::copy_if(log.begin(), log.end(), std::back_inserter(out),
                 [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    return out;
}

struct DashboardWindow : ::testing::Test {
    Log log;
    FakeApplication app{log};
    FakePlatform platform{log};
};

TEST_F(DashboardWindow, CreationSetsTitleColoursAndGeometry)
{
    TFVelastrom form(app, platform);
    auto& view = *app.view;
    EXPECT_EQ(app.Title(), "Velastrom di Navigazione TAV ROLENDI");
    EXPECT_EQ(view.label.Caption(), "Velastrom di Navigazione TAV ROLENDI");
    EXPECT_EQ(view.label.FontColor(), 5936189u);
    EXPECT_EQ(view.panelComand.Color(), 14022128u);
    EXPECT_FALSE(form.Started());
    EXPECT_THAT(Matching(log, "View."), ElementsAre("View.Top=5", "View.Left=5", "View.Height=736", "View.Width=1024"));
}

}  // namespace
}  // namespace velastrom
