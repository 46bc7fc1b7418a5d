// The window's placement, kept in an INI file beside the executable: read
// when the window is first shown, written when it closes.
#include "app/PVelastrom.h"

#include <algorithm>

#include "common/IntegerText.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

namespace velastrom {

namespace {

constexpr const char* PlacementFileName = "TavRolendiVelastromRoot.ini";
constexpr const char* PlacementSection = "SCREEN";

// Releases the placement file object at the end of a handler, on every path.
class ReleaseAtEnd {
public:
    explicit ReleaseAtEnd(std::unique_ptr<TIniFile>& ini) : ini_(ini) {}
    ~ReleaseAtEnd() { ini_.reset(); }
    ReleaseAtEnd(const ReleaseAtEnd&) = delete;
    ReleaseAtEnd& operator=(const ReleaseAtEnd&) = delete;

private:
    std::unique_ptr<TIniFile>& ini_;
};

bool Overlaps(const TRect& a, int left, int top, int width, int height)
{
    const long long x1 = std::max<long long>(a.Left, left);
    const long long y1 = std::max<long long>(a.Top, top);
    const long long x2 = std::min<long long>(static_cast<long long>(a.Left) + a.Width, static_cast<long long>(left) + width);
    const long long y2 = std::min<long long>(static_cast<long long>(a.Top) + a.Height, static_cast<long long>(top) + height);
    return x1 < x2 && y1 < y2;
}

}  // namespace

void TFVelastrom::FormShow()
{
    ReleaseAtEnd release(FPlacementIni);
    const auto applyDefaults = [this] {
        view_->SetTop(DefaultTop);
        view_->SetLeft(DefaultLeft);
        view_->SetHeight(DefaultHeight);
        view_->SetWidth(DefaultWidth);
    };
    try {
        FPlacementIniPath = FolderPart(Platform, Application.ExeName()) + PlacementFileName;
        FPlacementIni = std::make_unique<TIniFile>(Platform, FPlacementIniPath);
        FPlacementTop = FPlacementIni->ReadString(PlacementSection, "T", "");
        if (FPlacementTop.empty())
            return;  // no placement: the creation geometry stays
        view_->SetTop(StrToInt(FPlacementIni->ReadString(PlacementSection, "T", IntToStr(DefaultTop))));
        view_->SetLeft(StrToInt(FPlacementIni->ReadString(PlacementSection, "L", IntToStr(DefaultLeft))));
        view_->SetHeight(StrToInt(FPlacementIni->ReadString(PlacementSection, "H", IntToStr(DefaultHeight))));
        view_->SetWidth(StrToInt(FPlacementIni->ReadString(PlacementSection, "W", IntToStr(DefaultWidth))));
    } catch (...) {
        applyDefaults();
        return;
    }

    // The window has no close button and no system menu: one stored wholly
    // outside every monitor's work area could never be brought back, so it
    // opens at the creation geometry instead. A window partly on screen keeps
    // its place.
    const std::vector<TRect> areas = Application.WorkAreas();
    const bool visible = std::any_of(areas.begin(), areas.end(), [this](const TRect& area) {
        return Overlaps(area, view_->Left(), view_->Top(), view_->Width(), view_->Height());
    });
    if (!areas.empty() && !visible)
        applyDefaults();
}

void TFVelastrom::FormClose(TCloseAction& action)
{
    (void)action;  // the framework's preset stays
    ReleaseAtEnd release(FPlacementIni);
    try {
        FPlacementIniPath = FolderPart(Platform, Application.ExeName()) + PlacementFileName;
        FPlacementIni = std::make_unique<TIniFile>(Platform, FPlacementIniPath);
        FPlacementIni->WriteString(PlacementSection, "T", IntToStr(view_->Top()));
        FPlacementIni->WriteString(PlacementSection, "L", IntToStr(view_->Left()));
        FPlacementIni->WriteString(PlacementSection, "H", IntToStr(view_->Height()));
        FPlacementIni->WriteString(PlacementSection, "W", IntToStr(view_->Width()));
    } catch (...) {
        // a placement that cannot be written is given up without a word
    }
}

}  // namespace velastrom
