// What crosses the boundary to the browser control and may outlive the call
// that carried it: text converted to the ANSI code page, requests for new
// windows, and the streams handed to Save and Load.
#include <windows.h>

#include <exdisp.h>
#include <exdispid.h>
#include <ole2.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "browser/win32/BrowserEventSink.h"
#include "browser/win32/ComText.h"
#include "browser/win32/StreamAdapter.h"

namespace velastrom::win32 {
namespace {

using ::testing::IsEmpty;

// --- UTF-16 to the ANSI code page ------------------------------------------------------------

TEST(AnsiText, CharactersTheCodePageLacksBecomeItsDefaultCharacterNotALookAlike)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "the ANSI code page here is " << GetACP();
    CPINFO info{};
    ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
    ASSERT_EQ(info.DefaultChar[0], '?');

    struct Case {
        const wchar_t* text;
        std::string ansi;
    };
    // Each of these has a best fit in 1252 ("A", "l", "c", "L", "z", "S"),
    // which must not be used.
    const Case cases[] = {
        {L"\u0100", "?"},
        {L"\u0142", "?"},
        {L"\u0107", "?"},
        {L"\u0141\u00F3d\u017A", "?\xF3" "d?"},
        {L"\u015A", "?"},
        // The code page's own characters stay.
        {L"\u0160\u20AC\u00E0", "\x8A\x80\xE0"},
        {L"about:TR\u0142|http://127.0.0.1/", "about:TR?|http://127.0.0.1/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.ansi));
        EXPECT_EQ(ToAnsi(c.text), c.ansi);
        BSTR text = SysAllocString(c.text);
        EXPECT_EQ(BstrToAnsi(text), c.ansi);
        SysFreeString(text);
    }
}

// --- requests for new windows ------------------------------------------------------------------

// NewWindow3(ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl) and
// NewWindow2(ppDisp, Cancel), their arguments last first as the control passes them.
struct NewWindowArguments {
    IDispatch* newBrowser = nullptr;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[5];
    BSTR url = nullptr;
    BSTR context = nullptr;

    explicit NewWindowArguments(const wchar_t* address)
    {
        url = SysAllocString(address);
        context = SysAllocString(L"about:blank");
        for (auto& arg : args)
            VariantInit(&arg);
    }
    ~NewWindowArguments()
    {
        SysFreeString(url);
        SysFreeString(context);
    }
    DISPPARAMS NewWindow3()
    {
        V_VT(&args[4]) = VT_DISPATCH | VT_BYREF;
        V_DISPATCHREF(&args[4]) = &newBrowser;
        V_VT(&args[3]) = VT_BOOL | VT_BYREF;
        V_BOOLREF(&args[3]) = &cancel;
        V_VT(&args[2]) = VT_UI4;
        V_UI4(&args[2]) = 0x2 | 0x4;  // NWMF_USERINITED | NWMF_FIRST_USERINITED
        V_VT(&args[1]) = VT_BSTR;
        V_BSTR(&args[1]) = context;
        V_VT(&args[0]) = VT_BSTR;
        V_BSTR(&args[0]) = url;
        return DISPPARAMS{args, nullptr, 5, 0};
    }
    DISPPARAMS NewWindow2()
    {
        V_VT(&args[1]) = VT_DISPATCH | VT_BYREF;
        V_DISPATCHREF(&args[1]) = &newBrowser;
        V_VT(&args[0]) = VT_BOOL | VT_BYREF;
        V_BOOLREF(&args[0]) = &cancel;
        return DISPPARAMS{args, nullptr, 2, 0};
    }
};

HRESULT Raise(BrowserEventSink& sink, DISPID id, DISPPARAMS parameters)
{
    return sink.Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
}

TEST(NewWindows, NewWindow3IsRefusedAndItsAddressHandedOn)
{
    struct Case {
        const char* name;
        bool handler;
        bool handlerFails;
        bool detached;
        std::vector<std::string> seen;
    };
    const Case cases[] = {
        {"handled", true, false, false, {"about:TR001|http://127.0.0.1/p"}},
        {"handler fails", true, true, false, {"about:TR001|http://127.0.0.1/p"}},
        {"no handler", false, false, false, {}},
        {"detached", true, false, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BrowserEventSink* sink = BrowserEventSink::Create();
        std::vector<std::string> seen;
        int navigations = 0;
        sink->SetOnBeforeNavigate2([&](const std::string&, bool&) { ++navigations; });
        if (c.handler)
            sink->SetOnNewWindow([&](const std::string& url) {
                seen.push_back(url);
                if (c.handlerFails)
                    throw std::runtime_error("x");
            });
        if (c.detached)
            sink->Detach();
        NewWindowArguments arguments(L"about:TR001|http://127.0.0.1/p");
        EXPECT_EQ(Raise(*sink, DISPID_NEWWINDOW3, arguments.NewWindow3()), S_OK);
        EXPECT_EQ(arguments.cancel, VARIANT_TRUE);
        EXPECT_EQ(static_cast<short>(arguments.cancel), -1);
        // No browser of ours is offered for the new window.
        EXPECT_EQ(arguments.newBrowser, nullptr);
        EXPECT_EQ(seen, c.seen);
        EXPECT_EQ(navigations, 0);
        EXPECT_EQ(sink->Release(), 0u);
    }
}

TEST(NewWindows, NewWindow2AndShortArgumentListsAreLeftAlone)
{
    BrowserEventSink* sink = BrowserEventSink::Create();
    std::vector<std::string> seen;
    sink->SetOnNewWindow([&](const std::string& url) { seen.push_back(url); });

    // NewWindow2 carries no address; cancelled, it would keep the control
    // from raising the NewWindow3 that carries it.
    NewWindowArguments arguments(L"http://127.0.0.1/");
    EXPECT_EQ(Raise(*sink, DISPID_NEWWINDOW2, arguments.NewWindow2()), S_OK);
    EXPECT_EQ(arguments.cancel, VARIANT_FALSE);
    EXPECT_EQ(arguments.newBrowser, nullptr);
    EXPECT_THAT(seen, IsEmpty());

    // Fewer arguments than NewWindow3 has: nothing is written or raised.
    NewWindowArguments shortOnes(L"http://127.0.0.1/");
    DISPPARAMS three = shortOnes.NewWindow3();
    three.cArgs = 4;
    EXPECT_EQ(Raise(*sink, DISPID_NEWWINDOW3, three), S_OK);
    EXPECT_EQ(shortOnes.cancel, VARIANT_FALSE);
    EXPECT_THAT(seen, IsEmpty());
    EXPECT_EQ(sink->Release(), 0u);
}

// --- streams that outlive Save and Load --------------------------------------------------------

struct StreamsPastTheCall : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override { OleUninitialize(); }
};

TEST_F(StreamsPastTheCall, ALoadStreamIsACopyThatOutlivesTheProgramsStream)
{
    // As a control that keeps the stream Load gave it and reads it later.
    auto page = std::make_unique<TMemoryStream>();
    page->Write("<html>pagina</html>", 19);
    page->Seek(6);
    IStream* kept = StreamAdapter::CreateCopy(*page);

    char buffer[32] = {};
    ULONG read = 0;
    ASSERT_EQ(kept->Read(buffer, 6, &read), S_OK);
    EXPECT_EQ(std::string(buffer, read), "pagina");
    // The program's stream is not moved by the control's reads.
    EXPECT_EQ(page->Position(), 6u);

    page.reset();
    ASSERT_EQ(kept->Read(buffer, sizeof buffer, &read), S_OK);
    EXPECT_EQ(std::string(buffer, read), "</html>");
    LARGE_INTEGER start{};
    ULARGE_INTEGER at{};
    ASSERT_EQ(kept->Seek(start, STREAM_SEEK_SET, &at), S_OK);
    ASSERT_EQ(kept->Read(buffer, sizeof buffer, &read), S_OK);
    EXPECT_EQ(std::string(buffer, read), "<html>pagina</html>");
    STATSTG stat{};
    ASSERT_EQ(kept->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 19u);
    EXPECT_EQ(kept->Release(), 0u);
}

TEST_F(StreamsPastTheCall, ASaveStreamOnceDetachedRefusesEveryUseAndLeavesTheProgramsStream)
{
    TMemoryStream page;
    StreamAdapter* adapter = StreamAdapter::Create(page);
    IStream* kept = adapter;
    kept->AddRef();
    ULONG written = 0;
    ASSERT_EQ(kept->Write("<html>", 6, &written), S_OK);
    adapter->Detach();
    EXPECT_EQ(adapter->Release(), 1u);

    // The program may free its stream now; the control's later calls fail.
    char buffer[8];
    ULONG count = 99;
    LARGE_INTEGER move{};
    ULARGE_INTEGER size{};
    STATSTG stat{};
    EXPECT_EQ(kept->Write("late", 4, &count), STG_E_REVERTED);
    EXPECT_EQ(kept->Read(buffer, sizeof buffer, &count), STG_E_REVERTED);
    EXPECT_EQ(kept->Seek(move, STREAM_SEEK_SET, nullptr), STG_E_REVERTED);
    EXPECT_EQ(kept->SetSize(size), STG_E_REVERTED);
    EXPECT_EQ(kept->Stat(&stat, STATFLAG_NONAME), STG_E_REVERTED);
    EXPECT_EQ(kept->Commit(STGC_DEFAULT), STG_E_REVERTED);
    IStream* target = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &target), S_OK);
    size.QuadPart = 100;
    EXPECT_EQ(kept->CopyTo(target, size, nullptr, nullptr), STG_E_REVERTED);
    target->Release();
    EXPECT_EQ(std::string(page.Bytes().begin(), page.Bytes().end()), "<html>");
    EXPECT_EQ(page.Position(), 6u);
    EXPECT_EQ(kept->Release(), 0u);
}

}  // namespace
}  // namespace velastrom::win32
