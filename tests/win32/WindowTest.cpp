// The Win32 window framework with the real Windows functions: the dashboard
// window's styles, minimum size and layout, the command bar's controls, the
// application object's window, message loop, events and error box.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <float.h>

#include <windows.h>

#include <commctrl.h>

#include "Win32TestSupport.h"
#include "platform/win32/Win32Platform.h"
#include "app/PVelastrom.h"
#include "common/Error.h"

namespace velastrom::win32::test {
namespace {

using ::testing::ElementsAre;

std::string WindowText(HWND window)
{
    char buffer[512] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

void DrainQueue()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        if (message.message != WM_QUIT) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
}

std::vector<std::string> ClosingCalls(const RecordingEvents& events)
{
    std::vector<std::string> out;
    for (const auto& call : events.calls)
        if (call.rfind("FormClose", 0) == 0)
            out.push_back(call);
    return out;
}

struct Win32Window : ::testing::Test {
    PostedBrowsers browsers;
    std::unique_ptr<Win32Application> app;
    RecordingEvents events;
    std::unique_ptr<IDashboardView> view;
    Win32DashboardView* window = nullptr;

    void SetUp() override
    {
        DrainQueue();
        events.calls.clear();
        browsers.log.clear();
        browsers.made.clear();
        app = std::make_unique<Win32Application>();
        app->Initialize();
        app->SetBrowserFactory(browsers.Factory());
        app->SetShowCommand(SW_SHOWNORMAL);
        view = app->CreateMainWindow(events);
        window = static_cast<Win32DashboardView*>(view.get());
        app->SetTitle(ApplicationTitle);
    }

    void TearDown() override
    {
        view.reset();
        app.reset();
        DrainQueue();
    }

    HWND Form() const { return window->Handle(); }

    // Shows the window as the program does and lets it paint.
    void ShowAndPaint()
    {
        ShowWindow(app->Handle(), SW_SHOWNOACTIVATE);
        ShowWindow(Form(), SW_SHOWNORMAL);
        UpdateWindow(Form());
        RedrawWindow(Form(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpUntil([] { return false; }, 5);
    }

    void Click(HWND control, POINT down, POINT up)
    {
        SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(down.x, down.y));
        SendMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(up.x, up.y));
    }
};

// --- the window and the application's window ---------------------------------------------

TEST_F(Win32Window, FormHasCaptionFrameAndBoxesButNoSystemMenuAndNoTaskbarEntry)
{
    const LONG_PTR style = GetWindowLongPtrA(Form(), GWL_STYLE);
    const LONG_PTR exStyle = GetWindowLongPtrA(Form(), GWL_EXSTYLE);
    EXPECT_EQ(style & WS_SYSMENU, 0);
    EXPECT_NE(style & WS_MINIMIZEBOX, 0);
    EXPECT_NE(style & WS_MAXIMIZEBOX, 0);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_NE(style & WS_THICKFRAME, 0);
    EXPECT_EQ(style & WS_CHILD, 0);
    EXPECT_EQ(exStyle & WS_EX_APPWINDOW, 0);
    EXPECT_EQ(WindowText(Form()), "TAV ROLENDI");
    EXPECT_EQ(GetWindow(Form(), GW_OWNER), app->Handle());
    EXPECT_EQ(app->MainWindowHandle(), reinterpret_cast<std::uintptr_t>(Form()));
}

TEST_F(Win32Window, ApplicationWindowCarriesTheTitleAndOnlyRestoreMinimizeClose)
{
    EXPECT_EQ(WindowText(app->Handle()), "Velastrom di Navigazione TAV ROLENDI");
    EXPECT_EQ(app->Title(), "Velastrom di Navigazione TAV ROLENDI");
    EXPECT_EQ(GetWindow(app->Handle(), GW_OWNER), nullptr);
    EXPECT_EQ(GetWindowLongPtrA(app->Handle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);

    HMENU menu = GetSystemMenu(app->Handle(), FALSE);
    ASSERT_NE(menu, nullptr);
    std::vector<UINT> commands;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        const UINT id = GetMenuItemID(menu, i);
        // Separators aside, and the emulator's own "About" entry (0xF141).
        if (id != 0 && id != static_cast<UINT>(-1) && id != 0xF141)
            commands.push_back(id & 0xFFF0);
    }
    EXPECT_THAT(commands, ElementsAre(SC_RESTORE, SC_MINIMIZE, SC_CLOSE));
}

TEST_F(Win32Window, TitleReadsBackAtMost255Characters)
{
    const std::string longTitle = std::string(300, 'a') + "\xE8";
    app->SetTitle(longTitle);
    EXPECT_EQ(app->Title(), std::string(255, 'a'));
    app->SetTitle("Citt\xE0");
    EXPECT_EQ(app->Title(), "Citt\xE0");
    app->SetTitle("");
    EXPECT_EQ(app->Title(), "");
}

// --- size and layout ------------------------------------------------------------------------

struct SizeCase {
    const char* name;
    int width, height;
    int expectedWidth, expectedHeight;
};

TEST_F(Win32Window, MinimumSizeHoldsForEverySetter)
{
    const SizeCase cases[] = {
        {"both below", 500, 300, 800, 600},
        {"one below each", 799, 599, 800, 600},
        {"exactly the minimum", 800, 600, 800, 600},
        {"width below only", 640, 900, 800, 900},
        {"larger", 1300, 950, 1300, 950},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window->SetTop(20);
        window->SetLeft(30);
        window->SetHeight(c.height);
        window->SetWidth(c.width);
        RECT rect;
        GetWindowRect(Form(), &rect);
        EXPECT_EQ(rect.right - rect.left, c.expectedWidth);
        EXPECT_EQ(rect.bottom - rect.top, c.expectedHeight);
        EXPECT_EQ(window->Width(), c.expectedWidth);
        EXPECT_EQ(window->Height(), c.expectedHeight);
        EXPECT_EQ(window->Top(), 20);
        EXPECT_EQ(window->Left(), 30);
    }
}

TEST_F(Win32Window, MinimumSizeHoldsAgainstDirectResizing)
{
    SetWindowPos(Form(), nullptr, 40, 50, 100, 100, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT rect;
    GetWindowRect(Form(), &rect);
    EXPECT_EQ(rect.right - rect.left, 800);
    EXPECT_EQ(rect.bottom - rect.top, 600);
    EXPECT_EQ(window->Width(), 800);
    EXPECT_EQ(window->Left(), 40);

    MINMAXINFO info{};
    SendMessageA(Form(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 800);
    EXPECT_EQ(info.ptMinTrackSize.y, 600);
}

void ExpectRect(HWND control, int left, int top, int width, int height)
{
    const RECT rect = ChildRect(control);
    EXPECT_EQ(rect.left, left);
    EXPECT_EQ(rect.top, top);
    EXPECT_EQ(rect.right - rect.left, width);
    EXPECT_EQ(rect.bottom - rect.top, height);
}

TEST_F(Win32Window, CommandBarKeepsImagesAtTheEndsAndLabelBetweenAtEveryWidth)
{
    for (int width : {800, 1024, 1600, 2400}) {
        SCOPED_TRACE(width);
        window->SetHeight(700);
        window->SetWidth(width);
        RECT client;
        GetClientRect(Form(), &client);
        const int w = client.right;
        const int h = client.bottom;
        ASSERT_GT(w, 600);
        ExpectRect(window->PanelComandControl().Handle(), 0, 0, w, 64);
        ExpectRect(window->ImageHomeControl().Handle(), 8, 8, 48, 48);
        ExpectRect(window->ImageStopControl().Handle(), w - 56, 8, 48, 48);
        ExpectRect(window->PanelInfoControl().Handle(), 56, 8, w - 112, 48);
        ExpectRect(window->LabelControl().Handle(), 2, 2, w - 116, 44);
        ExpectRect(window->WebBrowserWindow(), 0, 64, w, h - 64);
        ExpectRect(window->WebBrowserRootWindow(), 72, 16, 55, 55);
    }
}

TEST_F(Win32Window, LaterChildrenLieAboveEarlierOnes)
{
    // Topmost first: the command bar, the visible browser, the covered browser.
    std::vector<HWND> order;
    for (HWND child = GetWindow(Form(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        order.push_back(child);
    EXPECT_THAT(order, ElementsAre(window->PanelComandControl().Handle(), window->WebBrowserWindow(),
                                   window->WebBrowserRootWindow()));
    for (HWND child : order)
        EXPECT_NE(GetWindowLongPtrA(child, GWL_STYLE) & WS_CLIPSIBLINGS, 0);
}

// --- the command bar's controls -------------------------------------------------------------

TEST_F(Win32Window, LabelUsesBoldSixteenPixelFontAndShowsItsCaption)
{
    LOGFONTA font{};
    ASSERT_NE(GetObjectA(window->LabelControl().Font(), sizeof font, &font), 0);
    EXPECT_EQ(font.lfHeight, -16);
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(window->cxLabelInfo().Caption(), "cxLabelInfo");
    window->cxLabelInfo().SetCaption(ApplicationTitle);
    EXPECT_EQ(window->cxLabelInfo().Caption(), ApplicationTitle);
    EXPECT_EQ(WindowText(window->LabelControl().Handle()), ApplicationTitle);
    window->cxLabelInfo().SetFontColor(LabelTextColor);
    EXPECT_EQ(window->cxLabelInfo().FontColor(), 5936189u);
}

TEST_F(Win32Window, LabelTextIsCentredVerticallyAndWrapsWhenTooLong)
{
    struct Case {
        const char* name;
        std::string caption;
        int width;
        bool wraps;
    };
    std::string longCaption;
    for (int i = 0; i < 6; ++i)
        longCaption += std::string(i ? " " : "") + ApplicationTitle;
    const Case cases[] = {
        {"title at the creation width", ApplicationTitle, 1024, false},
        {"title at the narrowest width", ApplicationTitle, 800, false},
        {"long text at the narrowest width", longCaption, 800, true},
    };
    HWND label = window->LabelControl().Handle();
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, window->LabelControl().Font());
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window->SetWidth(c.width);
        window->cxLabelInfo().SetCaption(c.caption);
        RECT client;
        GetClientRect(label, &client);
        const RECT text = window->LabelControl().TextRect(dc);
        const int height = text.bottom - text.top;
        EXPECT_EQ(text.top, (client.bottom - height) / 2);
        EXPECT_EQ(text.left, 0);
        EXPECT_EQ(text.right, client.right);
        if (c.wraps)
            EXPECT_GE(height, 2 * metrics.tmHeight);
        else
            EXPECT_EQ(height, metrics.tmHeight);
    }
    ReleaseDC(label, dc);
}

TEST_F(Win32Window, PanelInfoTakesTheCommandBarColourUntilItHasItsOwn)
{
    EXPECT_EQ(window->PanelComand().Color(), RGBColor(0xC0, 0xC0, 0xC0));
    window->PanelComand().SetColor(CommandBarColor);
    EXPECT_EQ(window->PanelComand().Color(), 14022128u);
    EXPECT_EQ(window->PanelInfo().Color(), 14022128u);
    window->PanelInfo().SetColor(RGBColor(1, 2, 3));
    window->PanelComand().SetColor(RGBColor(9, 9, 9));
    EXPECT_EQ(window->PanelInfo().Color(), RGBColor(1, 2, 3));
}

TEST_F(Win32Window, PicturesShowTheBarColourWhereTheirBackgroundIs)
{
    window->PanelComand().SetColor(CommandBarColor);
    ShowAndPaint();
    for (Win32Image* image : {&window->ImageHomeControl(), &window->ImageStopControl()}) {
        ASSERT_TRUE(image->HasPicture());
        EXPECT_EQ(image->TransparentColor(), RGB(186, 31, 57));
        HDC dc = GetDC(image->Handle());
        int crimson = 0, bar = 0, picture = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x) {
                const COLORREF pixel = GetPixel(dc, x, y);
                if (pixel == RGB(186, 31, 57))
                    ++crimson;
                else if (pixel == static_cast<COLORREF>(CommandBarColor))
                    ++bar;
                else
                    ++picture;
            }
        EXPECT_EQ(GetPixel(dc, 0, 47), static_cast<COLORREF>(CommandBarColor));
        EXPECT_EQ(GetPixel(dc, 47, 0), static_cast<COLORREF>(CommandBarColor));
        ReleaseDC(image->Handle(), dc);
        EXPECT_EQ(crimson, 0);
        EXPECT_GT(bar, 0);
        EXPECT_GT(picture, 48 * 48 / 2);  // the disc fills most of the square
    }
}

TEST_F(Win32Window, ImagesCarryTheirHintsAsTooltips)
{
    struct Case {
        Win32Image* image;
        const char* hint;
    };
    const Case cases[] = {
        {&window->ImageHomeControl(), "Torna al velastrom principale"},
        {&window->ImageStopControl(), "Chiudi il velastrom"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hint);
        EXPECT_EQ(c.image->Hint(), c.hint);
        ASSERT_NE(c.image->Tooltip(), nullptr);
        char text[128] = {};
        TTTOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.hwnd = window->PanelComandControl().Handle();
        tool.uId = reinterpret_cast<UINT_PTR>(c.image->Handle());
        tool.lpszText = text;
        SendMessageA(c.image->Tooltip(), TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
        EXPECT_STREQ(text, c.hint);
    }
}

TEST_F(Win32Window, CursorIsTheHandOverImagesAndTheHourglassEverywhereWhileBusy)
{
    struct Case {
        const char* name;
        TCursor cursor;
        HWND control;
        LPCSTR expected;
    };
    const Case cases[] = {
        {"home image", TCursor::Default, window->ImageHomeControl().Handle(), IDC_HAND},
        {"stop image", TCursor::Default, window->ImageStopControl().Handle(), IDC_HAND},
        {"label", TCursor::Default, window->LabelControl().Handle(), IDC_ARROW},
        {"home image, busy", TCursor::HourGlass, window->ImageHomeControl().Handle(), IDC_WAIT},
        {"label, busy", TCursor::HourGlass, window->LabelControl().Handle(), IDC_WAIT},
        {"bar, busy", TCursor::HourGlass, window->PanelComandControl().Handle(), IDC_WAIT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app->SetCursor(c.cursor);
        EXPECT_EQ(app->Cursor(), c.cursor);
        ::SetCursor(nullptr);
        SendMessageA(c.control, WM_SETCURSOR, reinterpret_cast<WPARAM>(c.control), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(GetCursor(), LoadCursor(nullptr, c.expected));
    }
    app->SetCursor(TCursor::Default);
}

TEST_F(Win32Window, EnablingAndDisablingReachTheWindow)
{
    window->SetEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(Form()));
    EXPECT_FALSE(window->Enabled());
    window->SetEnabled(true);
    EXPECT_TRUE(IsWindowEnabled(Form()));
    EXPECT_TRUE(window->Enabled());
}

TEST_F(Win32Window, AClickIsAPressAndAReleaseInsideTheImage)
{
    struct Case {
        const char* name;
        bool press;
        POINT down, up;
        int clicks;
    };
    const Case cases[] = {
        {"inside", true, {10, 10}, {20, 30}, 1},
        {"released outside", true, {10, 10}, {100, 10}, 0},
        {"released without a press", false, {0, 0}, {10, 10}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        events.calls.clear();
        HWND image = window->ImageHomeControl().Handle();
        if (c.press)
            SendMessageA(image, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(c.down.x, c.down.y));
        SendMessageA(image, WM_LBUTTONUP, 0, MAKELPARAM(c.up.x, c.up.y));
        EXPECT_EQ(events.Count("ImageHomeClick"), c.clicks);
        EXPECT_EQ(events.Count("ImageStopClick"), 0);
    }
    Click(window->ImageStopControl().Handle(), {5, 5}, {5, 5});
    EXPECT_EQ(events.Count("ImageStopClick"), 1);
}

// --- the error box --------------------------------------------------------------------------

TEST_F(Win32Window, AFailureLeavingAHandlerShowsTheErrorBoxAndTheProgramGoesOn)
{
    ShowAndPaint();
    events.onHomeClick = [] { throw Error("Servizio non raggiungibile"); };
    MessageBoxCatcher catcher;
    catcher.applicationWindow = app->Handle();
    Click(window->ImageHomeControl().Handle(), {5, 5}, {5, 5});
    ASSERT_EQ(catcher.boxes.size(), 1u);
    const auto& box = catcher.boxes[0];
    EXPECT_EQ(box.caption, "Velastrom di Navigazione TAV ROLENDI");
    EXPECT_EQ(box.text, "Servizio non raggiungibile.");
    EXPECT_TRUE(box.errorIcon);
    EXPECT_THAT(box.buttons, ElementsAre("OK"));
    EXPECT_TRUE(box.ownerDisabled);
    EXPECT_TRUE(box.applicationWindowDisabled);
    // Both windows take input again, and the next click reaches the handler.
    EXPECT_TRUE(IsWindowEnabled(Form()));
    EXPECT_TRUE(IsWindowEnabled(app->Handle()));
    Click(window->ImageHomeControl().Handle(), {5, 5}, {5, 5});
    EXPECT_EQ(events.Count("ImageHomeClick"), 2);
    EXPECT_EQ(catcher.boxes.size(), 2u);
}

TEST_F(Win32Window, AFailureShownByTheDefaultHandlerLoadsTheFloatingPointSetUpAgain)
{
    Win32Platform platform;
    platform.MaskFloatingPointExceptions();
    ShowAndPaint();
    // A handler whose component unmasks division by zero, then fails.
    events.onHomeClick = [] {
        _controlfp(_MCW_EM & ~_EM_ZERODIVIDE, _MCW_EM);
        throw Error("Divisione non consentita");
    };
    MessageBoxCatcher catcher;
    catcher.applicationWindow = app->Handle();
    Click(window->ImageHomeControl().Handle(), {5, 5}, {5, 5});
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(_controlfp(0, 0) & _MCW_EM, static_cast<unsigned>(_MCW_EM)) << "every exception masked again";
    unsigned short word = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(word));
    // Bit 6 of the word is reserved and reads back as 1.
    EXPECT_EQ(word | 0x40, Win32Platform::FloatingPointControlWord | 0x40);
}

TEST_F(Win32Window, ErrorBoxShowsTheTextAsGivenWithTheTitleAsCaption)
{
    MessageBoxCatcher catcher;
    app->SetTitle("Titolo \xE8");
    app->ShowErrorBox("Riga uno\nriga due");
    app->SetTitle("");
    app->ShowErrorBox("Senza titolo");
    ASSERT_EQ(catcher.boxes.size(), 2u);
    EXPECT_EQ(catcher.boxes[0].caption, "Titolo \xE8");
    EXPECT_EQ(catcher.boxes[0].text, "Riga uno\nriga due");
    EXPECT_EQ(catcher.boxes[1].text, "Senza titolo");
    EXPECT_TRUE(catcher.boxes[1].errorIcon);
}

// --- message loop -----------------------------------------------------------------------------

TEST_F(Win32Window, QuitTakenWhileProcessingMessagesOnlyMarksTermination)
{
    int ran = 0;
    app->Terminate();
    EXPECT_FALSE(app->Terminated());
    PostStep([&] { ++ran; });
    app->ProcessMessages();
    EXPECT_TRUE(app->Terminated());
    EXPECT_EQ(ran, 1);  // what was waiting behind the quit ran as well
}

TEST_F(Win32Window, ProcessMessagesDispatchesWhatIsWaitingAndReturns)
{
    int ran = 0;
    PostStep([&] { ++ran; });
    PostStep([&] { ++ran; });
    app->ProcessMessages();
    EXPECT_EQ(ran, 2);
    EXPECT_FALSE(app->Terminated());
    app->ProcessMessages();  // nothing waiting: returns at once
    EXPECT_EQ(ran, 2);
}

// Ways of ending the program, each started once the window is shown.
TEST_F(Win32Window, ClosePathsEndTheMessageLoop)
{
    struct Case {
        const char* name;
        std::function<void(Win32Window&, LRESULT&)> request;
        std::vector<std::string> closing;
        LRESULT answer;
    };
    const Case cases[] = {
        {"close request to the window",
         [](Win32Window& t, LRESULT&) { PostMessageA(t.Form(), WM_CLOSE, 0, 0); },
         {"FormCloseQuery(true)", "FormClose(Hide)"}, 0},
        {"close command of the taskbar entry",
         [](Win32Window& t, LRESULT&) { PostMessageA(t.app->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); },
         {"FormCloseQuery(true)", "FormClose(Hide)"}, 0},
        {"log-off",
         [](Win32Window& t, LRESULT& answer) {
             answer = SendMessageA(t.Form(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
             SendMessageA(t.Form(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
         },
         {"FormCloseQuery(true)"}, TRUE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        LRESULT answer = 0;
        events.onShow = [&] { PostStep([&] { c.request(*this, answer); }); };
        app->Run();
        EXPECT_TRUE(app->Terminated());
        EXPECT_EQ(events.Count("FormShow"), 1);
        EXPECT_EQ(ClosingCalls(events), c.closing);
        EXPECT_EQ(answer, c.answer);
        // No browser was blanked; the window stays on screen until destroyed.
        EXPECT_TRUE(browsers.log.empty());
        EXPECT_TRUE(IsWindowVisible(Form()));
    }
}

TEST_F(Win32Window, StopImageBlanksWaitsThroughTheQueueAndCloses)
{
    events.onShow = [&] {
        PostStep([&] {
            SendMessageA(window->ImageStopControl().Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
            SendMessageA(window->ImageStopControl().Handle(), WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
        });
    };
    events.onStopClick = [&] {
        window->WebBrowser().Navigate("about:blank");
        WaitUntilInteractive(window->WebBrowser(), *app);
        window->Close();
    };
    app->Run();
    EXPECT_THAT(browsers.log, ElementsAre("WebBrowser.Navigate(about:blank)", "WebBrowser.Complete(about:blank)"));
    EXPECT_THAT(ClosingCalls(events), ElementsAre("FormCloseQuery(true)", "FormClose(Hide)"));
    EXPECT_EQ(events.Count("DocumentComplete(about:blank)"), 1);
    EXPECT_TRUE(app->Terminated());
}

TEST_F(Win32Window, BrowserEventsReachTheHandlersAndTheirFailuresTheBox)
{
    ASSERT_EQ(browsers.made.size(), 2u);
    PostedBrowser& visible = *browsers.made[1];
    EXPECT_FALSE(visible.RaiseBeforeNavigate2("about:X|http://127.0.0.1/"));
    EXPECT_EQ(events.Count("BeforeNavigate2(about:X|http://127.0.0.1/)"), 1);
    events.onBeforeNavigate2 = [](bool& cancel) { cancel = true; };
    EXPECT_TRUE(visible.RaiseBeforeNavigate2("about:Y|http://127.0.0.1/"));

    // A failure in the handler is shown, and the control gets a normal return.
    MessageBoxCatcher catcher;
    events.onBeforeNavigate2 = [](bool&) { throw Error("Prodotto non trovato"); };
    bool cancel = true;
    EXPECT_NO_THROW(cancel = visible.RaiseBeforeNavigate2("about:Z|x"));
    EXPECT_FALSE(cancel);
    ASSERT_EQ(catcher.boxes.size(), 1u);
    EXPECT_EQ(catcher.boxes[0].text, "Prodotto non trovato.");

    // The covered browser is bound to nothing.
    browsers.made[0]->RaiseDocumentComplete("about:blank");
    browsers.made[0]->RaiseBeforeNavigate2("about:blank");
    EXPECT_EQ(events.Count("DocumentComplete(about:blank)"), 0);
    EXPECT_EQ(events.Count("BeforeNavigate2(about:blank)"), 0);
    visible.RaiseDocumentComplete("about:blank");
    EXPECT_EQ(events.Count("DocumentComplete(about:blank)"), 1);
}

// --- start-up show commands, minimising and restoring ------------------------------------------

TEST_F(Win32Window, StartedMaximisedOpensMaximised)
{
    app->SetShowCommand(SW_SHOWMAXIMIZED);
    bool zoomed = false, visible = false;
    RECT platformRect{};
    TRect bounds;
    events.onShow = [&] {
        EXPECT_FALSE(IsWindowVisible(Form()));  // the show handler runs first
        PostStep([&] {
            zoomed = IsZoomed(Form());
            visible = IsWindowVisible(Form());
            GetWindowRect(Form(), &platformRect);
            bounds = {window->Left(), window->Top(), window->Width(), window->Height()};
            app->Terminate();
        });
    };
    app->Run();
    EXPECT_TRUE(zoomed);
    EXPECT_TRUE(visible);
    // The bounds read are the maximised rectangle as the platform gives it:
    // its frame lies outside the work area, so left and top are negative.
    const TRect work = app->WorkAreas().front();
    EXPECT_EQ(bounds.Left, platformRect.left);
    EXPECT_EQ(bounds.Top, platformRect.top);
    EXPECT_EQ(bounds.Width, platformRect.right - platformRect.left);
    EXPECT_EQ(bounds.Height, platformRect.bottom - platformRect.top);
    EXPECT_LT(bounds.Left, work.Left);
    EXPECT_LT(bounds.Top, work.Top);
    EXPECT_GT(bounds.Width, work.Width);
}

TEST_F(Win32Window, StartedMinimisedShowsTheWindowOnlyWhenFirstRestored)
{
    app->SetShowCommand(SW_SHOWMINNOACTIVE);
    int restores = 0;
    app->SetOnRestore([&] { ++restores; });
    bool iconicBefore = false, visibleBefore = true, iconicAfter = true, visibleAfter = false;
    int showsBefore = -1, showsAfter = -1;
    PostStep([&] {
        iconicBefore = IsIconic(app->Handle());
        visibleBefore = IsWindowVisible(Form());
        showsBefore = events.Count("FormShow");
        PostMessageA(app->Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
        PostStep([&] {
            iconicAfter = IsIconic(app->Handle());
            visibleAfter = IsWindowVisible(Form());
            showsAfter = events.Count("FormShow");
            app->Terminate();
        });
    });
    app->Run();
    EXPECT_TRUE(iconicBefore);
    EXPECT_FALSE(visibleBefore);
    EXPECT_EQ(showsBefore, 0);
    EXPECT_FALSE(iconicAfter);
    EXPECT_TRUE(visibleAfter);
    EXPECT_EQ(showsAfter, 1);
    EXPECT_EQ(restores, 1);
    EXPECT_TRUE(app->MainWindowShown());
}

TEST_F(Win32Window, MinimisingHidesTheWindowWithTheTaskbarEntryAndRestoringRaisesTheEvent)
{
    int restores = 0;
    app->SetOnRestore([&] { ++restores; });
    bool appIconic = false, formIconic = true, formVisible = true;
    bool appIconicAfter = true, formVisibleAfter = false;
    int leftBefore = 0, widthBefore = 0, leftMinimised = -1, widthMinimised = -1;
    events.onShow = [&] {
        PostStep([&] {
            // Not minimised: nothing to restore, no event.
            SendMessageA(app->Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
            leftBefore = window->Left();
            widthBefore = window->Width();
            SendMessageA(Form(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
            PostStep([&] {
                appIconic = IsIconic(app->Handle());
                formIconic = IsIconic(Form());
                formVisible = IsWindowVisible(Form());
                leftMinimised = window->Left();
                widthMinimised = window->Width();
                PostMessageA(app->Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
                PostStep([&] {
                    appIconicAfter = IsIconic(app->Handle());
                    formVisibleAfter = IsWindowVisible(Form());
                    app->Terminate();
                });
            });
        });
    };
    app->Run();
    EXPECT_TRUE(appIconic);
    EXPECT_FALSE(formIconic);
    EXPECT_FALSE(formVisible);
    EXPECT_EQ(leftMinimised, leftBefore);  // the bounds it had before
    EXPECT_EQ(widthMinimised, widthBefore);
    EXPECT_FALSE(appIconicAfter);
    EXPECT_TRUE(formVisibleAfter);
    EXPECT_EQ(restores, 1);
    EXPECT_EQ(events.Count("FormShow"), 1);  // restoring does not show the window anew
}

TEST_F(Win32Window, ApplicationActivationRaisesItsEventOnlyWhenBecomingActive)
{
    int activations = 0;
    SendMessageA(app->Handle(), WM_ACTIVATEAPP, TRUE, 0);  // no handler yet
    app->SetOnActivate([&] { ++activations; });
    SendMessageA(app->Handle(), WM_ACTIVATEAPP, TRUE, 0);
    SendMessageA(app->Handle(), WM_ACTIVATEAPP, FALSE, 0);
    EXPECT_EQ(activations, 1);
}

TEST_F(Win32Window, ActivatingTheWindowCallsTheActivationHandler)
{
    events.onShow = [&] { PostStep([&] { SetForegroundWindow(Form()); SetActiveWindow(Form()); }); };
    events.onActivate = [&] { app->Terminate(); };
    app->Run();
    EXPECT_GE(events.Count("FormActivate"), 1);
    EXPECT_EQ(GetActiveWindow(), Form());
}

// --- the application object's other services ---------------------------------------------------

TEST_F(Win32Window, ExecutableNameAndWorkAreasComeFromTheSystem)
{
    const std::string exe = app->ExeName();
    EXPECT_NE(exe.find("velastrom_win32_tests.exe"), std::string::npos) << exe;
    EXPECT_NE(GetFileAttributesA(exe.c_str()), INVALID_FILE_ATTRIBUTES);
    const auto areas = app->WorkAreas();
    ASSERT_FALSE(areas.empty());
    for (const auto& area : areas) {
        EXPECT_GT(area.Width, 0);
        EXPECT_GT(area.Height, 0);
    }
}

// --- the dashboard window itself on the real window ------------------------------------------------

TEST(Win32Dashboard, CreationGivesTitleCaptionColoursAndGeometryOnTheRealWindow)
{
    DrainQueue();
    fakes::Log log;
    fakes::FakePlatform platform(log);
    PostedBrowsers browsers;
    Win32Application app;
    app.Initialize();
    app.SetBrowserFactory(browsers.Factory());
    app.SetTitle("");
    {
        TFVelastrom form(app, platform, TVelastromSettings{});
        auto& view = static_cast<Win32DashboardView&>(form.View());
        EXPECT_EQ(WindowText(app.Handle()), "Velastrom di Navigazione TAV ROLENDI");
        EXPECT_EQ(WindowText(view.Handle()), "TAV ROLENDI");
        EXPECT_EQ(WindowText(view.LabelControl().Handle()), "Velastrom di Navigazione TAV ROLENDI");
        EXPECT_EQ(view.cxLabelInfo().FontColor(), 5936189u);
        EXPECT_EQ(view.PanelComand().Color(), 14022128u);
        EXPECT_EQ(view.PanelInfo().Color(), 14022128u);
        RECT rect;
        GetWindowRect(view.Handle(), &rect);
        EXPECT_EQ(rect.left, 5);
        EXPECT_EQ(rect.top, 5);
        EXPECT_EQ(rect.right - rect.left, 1024);
        EXPECT_EQ(rect.bottom - rect.top, 736);
        EXPECT_FALSE(IsWindowVisible(view.Handle()));  // shown only by the message loop
    }
    DrainQueue();
}

}  // namespace
}  // namespace velastrom::win32::test
