// The window's placement file against the fake platform's INI store: what a
// show applies, what a close writes.
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
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const std::string ExeName = "C:\\Programmi\\Velastrom\\VelastromNavigazione.exe";
const std::string PlacementFile = "C:\\Programmi\\Velastrom\\TavRolendiVelastromRoot.ini";

std::vector<std::string> Matching(const Log& log, const std::string& prefix)
{
    std::vector<std::string> out;
    std::copy_if(log.begin(), log.end(), std::back_inserter(out),
                 [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    return out;
}

struct Bounds {
    int top, left, height, width;
};

std::vector<std::string> Applied(const Bounds& b)
{
    return {"View.Top=" + std::to_string(b.top), "View.Left=" + std::to_string(b.left),
            "View.Height=" + std::to_string(b.height), "View.Width=" + std::to_string(b.width)};
}

const Bounds Creation{5, 5, 736, 1024};

struct Placement : ::testing::Test {
    Log log;
    FakeApplication app{log};
    FakePlatform platform{log};
    std::unique_ptr<TFVelastrom> form;

    Placement() { app.exeName = ExeName; }
    // The window as created; the log then starts empty.
    void Create()
    {
        form = std::make_unique<TFVelastrom>(app, platform, TVelastromSettings{});
        log.clear();
    }
    Bounds Current() const
    {
        return {app.view->Top(), app.view->Left(), app.view->Height(), app.view->Width()};
    }
};

// --- reading, at the first show -----------------------------------------------------------

struct ShowCase {
    const char* name;
    bool hasFile;
    FakePlatform::File file;
    std::vector<TRect> workAreas;
    std::string placementTop;
    Bounds expected;
    std::vector<std::string> applied;  // the bounds set, in order
};

void PrintTo(const ShowCase& c, std::ostream* os) { *os << c.name; }

class PlacementShow : public Placement, public ::testing::WithParamInterface<ShowCase> {};

TEST_P(PlacementShow, AppliesAllOrNothing)
{
    if (GetParam().hasFile)
        platform.files[PlacementFile] = GetParam().file;
    app.workAreas = GetParam().workAreas;
    Create();
    form->FormShow();

    EXPECT_THAT(Matching(log, "View."), ElementsAreArray(GetParam().applied));
    const Bounds now = Current();
    EXPECT_EQ(now.top, GetParam().expected.top);
    EXPECT_EQ(now.left, GetParam().expected.left);
    EXPECT_EQ(now.height, GetParam().expected.height);
    EXPECT_EQ(now.width, GetParam().expected.width);
    EXPECT_EQ(form->PlacementIniPath(), PlacementFile);
    EXPECT_EQ(form->PlacementTop(), GetParam().placementTop);
    EXPECT_TRUE(app.errorBoxes.empty());
    EXPECT_THAT(Matching(log, "WriteProfile("), IsEmpty()) << "showing writes nothing";
}

const std::vector<TRect> OneScreen{{0, 0, 1920, 1040}};
const std::vector<TRect> TwoScreens{{0, 0, 1920, 1040}, {1920, 0, 1280, 984}};

FakePlatform::File Screen(FakePlatform::Section keys) { return {{"SCREEN", std::move(keys)}}; }

std::vector<std::string> Then(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlacementShow,
    ::testing::Values(
        ShowCase{"NoFile", false, {}, OneScreen, "", Creation, {}},
        ShowCase{"NoSection", true, {{"ALTRO", {{"T", "100"}}}}, OneScreen, "", Creation, {}},
        ShowCase{"NoTopKey", true, Screen({{"L", "100"}, {"H", "700"}, {"W", "900"}}), OneScreen, "", Creation, {}},
        ShowCase{"EmptyTopIgnoresTheRest", true, Screen({{"T", ""}, {"L", "100"}, {"H", "700"}, {"W", "900"}}),
                 OneScreen, "", Creation, {}},
        ShowCase{"AllFour", true, Screen({{"T", "40"}, {"L", "60"}, {"H", "700"}, {"W", "900"}}), OneScreen, "40",
                 {40, 60, 700, 900}, Applied({40, 60, 700, 900})},
        ShowCase{"KeysInAnyOrderAndCase", true, Screen({{"w", "900"}, {"h", "700"}, {"l", "60"}, {"t", "40"}}),
                 OneScreen, "40", {40, 60, 700, 900}, Applied({40, 60, 700, 900})},
        ShowCase{"OnlyTop", true, Screen({{"T", "100"}}), OneScreen, "100", {100, 5, 736, 1024},
                 Applied({100, 5, 736, 1024})},
        ShowCase{"LettersInLeft", true, Screen({{"T", "100"}, {"L", "abc"}, {"H", "700"}, {"W", "900"}}), OneScreen,
                 "100", Creation, Then({"View.Top=100"}, Applied(Creation))},
        ShowCase{"EmptyWidth", true, Screen({{"T", "100"}, {"L", "50"}, {"H", "700"}, {"W", ""}}), OneScreen, "100",
                 Creation, Then({"View.Top=100", "View.Left=50", "View.Height=700"}, Applied(Creation))},
        ShowCase{"TopNotANumber", true, Screen({{"T", "alto"}, {"L", "50"}}), OneScreen, "alto", Creation,
                 Applied(Creation)},
        ShowCase{"TopOutOfRange", true, Screen({{"T", "2147483648"}}), OneScreen, "2147483648", Creation,
                 Applied(Creation)},
        ShowCase{"HexadecimalTop", true, Screen({{"T", "$64"}}), OneScreen, "$64", {100, 5, 736, 1024},
                 Applied({100, 5, 736, 1024})},
        ShowCase{"HexadecimalWithZeroX", true, Screen({{"T", "0x64"}, {"L", "-0x10"}}), OneScreen, "0x64",
                 {100, -16, 736, 1024}, Applied({100, -16, 736, 1024})},
        ShowCase{"NarrowAndLowRaisedToMinimum", true, Screen({{"T", "10"}, {"L", "10"}, {"H", "300"}, {"W", "500"}}),
                 OneScreen, "10", {10, 10, 600, 800}, Applied({10, 10, 600, 800})},
        ShowCase{"MaximisedRectangleKept", true,
                 Screen({{"T", "-8"}, {"L", "-8"}, {"H", "1056"}, {"W", "1936"}}), OneScreen, "-8",
                 {-8, -8, 1056, 1936}, Applied({-8, -8, 1056, 1936})},
        ShowCase{"PartlyOffScreenKept", true, Screen({{"T", "900"}, {"L", "1900"}, {"H", "736"}, {"W", "1024"}}),
                 OneScreen, "900", {900, 1900, 736, 1024}, Applied({900, 1900, 736, 1024})},
        // a window that no monitor shows could not be brought back: no close button
        ShowCase{"WhollyOffScreenFallsBack", true,
                 Screen({{"T", "3000"}, {"L", "5000"}, {"H", "736"}, {"W", "1024"}}), OneScreen, "3000", Creation,
                 Then(Applied({3000, 5000, 736, 1024}), Applied(Creation))},
        ShowCase{"JustBeyondTheEdgeFallsBack", true,
                 Screen({{"T", "100"}, {"L", "-1024"}, {"H", "736"}, {"W", "1024"}}), OneScreen, "100", Creation,
                 Then(Applied({100, -1024, 736, 1024}), Applied(Creation))},
        ShowCase{"OnSecondMonitorKept", true, Screen({{"T", "100"}, {"L", "2000"}, {"H", "736"}, {"W", "1024"}}),
                 TwoScreens, "100", {100, 2000, 736, 1024}, Applied({100, 2000, 736, 1024})},
        ShowCase{"SecondMonitorGoneFallsBack", true,
                 Screen({{"T", "100"}, {"L", "2000"}, {"H", "736"}, {"W", "1024"}}), OneScreen, "100", Creation,
                 Then(Applied({100, 2000, 736, 1024}), Applied(Creation))},
        ShowCase{"NoMonitorKnownKeepsFile", true, Screen({{"T", "3000"}, {"L", "5000"}}), {}, "3000",
                 {3000, 5000, 736, 1024}, Applied({3000, 5000, 736, 1024})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Placement, ShowWithExecutableBesideDriveColon)
{
    app.exeName = "D:VelastromNavigazione.exe";
    platform.files["D:TavRolendiVelastromRoot.ini"] = Screen({{"T", "77"}});
    Create();
    form->FormShow();
    EXPECT_EQ(form->PlacementIniPath(), "D:TavRolendiVelastromRoot.ini");
    EXPECT_EQ(app.view->Top(), 77);
}

// --- writing, at close ---------------------------------------------------------------------

TEST_F(Placement, FirstCloseWritesTheCreationGeometryInOrder)
{
    Create();
    TCloseAction action = TCloseAction::Hide;
    form->FormClose(action);
    EXPECT_EQ(action, TCloseAction::Hide);
    EXPECT_THAT(log, ElementsAre("WriteProfile(SCREEN,T=5)", "WriteProfile(SCREEN,L=5)",
                                 "WriteProfile(SCREEN,H=736)", "WriteProfile(SCREEN,W=1024)"));
    const FakePlatform::File expected = Screen({{"T", "5"}, {"L", "5"}, {"H", "736"}, {"W", "1024"}});
    EXPECT_EQ(platform.files[PlacementFile], expected);
    EXPECT_EQ(form->PlacementIniPath(), PlacementFile);
}

TEST_F(Placement, CloseReplacesValuesInPlaceAndLeavesTheRest)
{
    platform.files[PlacementFile] = {{"ALTRO", {{"X", "1"}}},
                                     {"screen", {{"W", "1"}, {"Nota", "tenere"}, {"t", "2"}}}};
    Create();
    app.view->SetTop(-8);
    app.view->SetLeft(-8);
    app.view->SetHeight(1056);
    app.view->SetWidth(1936);
    TCloseAction action = TCloseAction::Hide;
    form->FormClose(action);
    const FakePlatform::File expected = {
        {"ALTRO", {{"X", "1"}}},
        {"screen", {{"W", "1936"}, {"Nota", "tenere"}, {"t", "-8"}, {"L", "-8"}, {"H", "1056"}}}};
    EXPECT_EQ(platform.files[PlacementFile], expected);
}

TEST_F(Placement, ReadOnlyFileIsLeftAloneSilently)
{
    const FakePlatform::File old = Screen({{"T", "40"}, {"L", "60"}, {"H", "700"}, {"W", "900"}});
    platform.files[PlacementFile] = old;
    platform.readOnlyFiles.insert(PlacementFile);
    Create();
    app.view->SetTop(300);
    TCloseAction action = TCloseAction::Hide;
    form->FormClose(action);
    EXPECT_THAT(Matching(log, "WriteProfile("), ElementsAre("WriteProfile(SCREEN,T=300)"))
        << "the first refused write ends the attempt";
    EXPECT_EQ(platform.files[PlacementFile], old);
    EXPECT_TRUE(app.errorBoxes.empty());

    // The next start uses the old values.
    form.reset();
    Create();
    form->FormShow();
    EXPECT_EQ(Current().top, 40);
    EXPECT_EQ(Current().width, 900);
}

TEST_F(Placement, KeysWrittenBeforeARefusalStay)
{
    Create();
    app.view->SetTop(11);
    app.view->SetLeft(22);
    platform.failures["WriteProfile(SCREEN,H=736)"] = "";
    TCloseAction action = TCloseAction::Hide;
    form->FormClose(action);
    EXPECT_THAT(Matching(log, "WriteProfile("),
                ElementsAre("WriteProfile(SCREEN,T=11)", "WriteProfile(SCREEN,L=22)", "WriteProfile(SCREEN,H=736)"));
    const FakePlatform::File expected = Screen({{"T", "11"}, {"L", "22"}});
    EXPECT_EQ(platform.files[PlacementFile], expected);
    EXPECT_TRUE(app.errorBoxes.empty());
}

TEST_F(Placement, RoundTripThroughTheClosePath)
{
    Create();
    app.view->SetTop(123);
    app.view->SetLeft(-45);
    app.view->SetHeight(678);
    app.view->SetWidth(910);
    app.view->Close();  // the framework's close path runs the close handler
    form.reset();

    Create();
    form->FormShow();
    EXPECT_EQ(Current().top, 123);
    EXPECT_EQ(Current().left, -45);
    EXPECT_EQ(Current().height, 678);
    EXPECT_EQ(Current().width, 910);
    EXPECT_EQ(form->PlacementTop(), "123");
}

}  // namespace
}  // namespace velastrom
