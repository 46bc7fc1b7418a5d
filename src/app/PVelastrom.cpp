#include "app/PVelastrom.h"

#include "platform/IniFile.h"

namespace velastrom {

TFVelastrom::TFVelastrom(IApplication& application, IPlatform& platform, const TVelastromSettings& settings)
    : Application(application), Platform(platform), FSettings(settings)
{
    view_ = Application.CreateMainWindow(*this);
    WebBrowser = &view_->WebBrowser();
    PanelComand = &view_->PanelComand();
    ImageHome = &view_->ImageHome();
    ImageStop = &view_->ImageStop();
    PanelInfo = &view_->PanelInfo();
    cxLabelInfo = &view_->cxLabelInfo();
    WebBrowserRoot = &view_->WebBrowserRoot();
    DispatchEvent(Application, [this] { FormCreate(); });
}

TFVelastrom::~TFVelastrom()
{
    DispatchEvent(Application, [this] { FormDestroy(); });
    view_.reset();
}

void TFVelastrom::FormCreate()
{
    FPageStream.reset();
    FPageLines.reset();
    FInstalledCodes.reset();
    Application.SetTitle(ApplicationTitle);
    cxLabelInfo->SetCaption(Application.Title());
    cxLabelInfo->SetFontColor(LabelTextColor);
    PanelComand->SetColor(CommandBarColor);
    FStarted = false;
    view_->SetTop(DefaultTop);
    view_->SetLeft(DefaultLeft);
    view_->SetHeight(DefaultHeight);
    view_->SetWidth(DefaultWidth);
}

void TFVelastrom::FormDestroy()
{
    if (FPageStream)
        FPageStream.reset();
    if (FPageLines)
        FPageLines.reset();
    if (FInstalledCodes)
        FInstalledCodes.reset();
}

void TFVelastrom::FormCloseQuery(bool& canClose)
{
    (void)canClose;  // closing is always allowed
}

void TFVelastrom::ImageStopClick()
{
    WebBrowser->Navigate("about:blank");
    WaitUntilInteractive(*WebBrowser, Application);
    view_->Close();
}

int VelastromNavigazione(IApplication& application, IPlatform& platform, const TVelastromSettings& settings)
{
    platform.MaskFloatingPointExceptions();
    application.Initialize();
    application.SetTitle("");
    {
        TFVelastrom FVelastrom(application, platform, settings);
        application.Run();
    }
    return 0;
}

}  // namespace velastrom
