// The pieces of the browser host that need no HTML engine, against the real
// component-object runtime: the stream adapter over the program's memory
// stream, late binding with its error texts, the event receiver, and the
// UTF-16 conversion at the boundary.
#include <windows.h>

#include <exdisp.h>
#include <exdispid.h>
#include <ole2.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "browser/win32/BrowserEventSink.h"
#include "browser/win32/ComText.h"
#include "browser/win32/DispatchObject.h"
#include "browser/win32/StreamAdapter.h"
#include "common/Error.h"

namespace velastrom::win32 {
namespace {

using ::testing::ElementsAre;

std::string Text(const TMemoryStream& stream) { return std::string(stream.Bytes().begin(), stream.Bytes().end()); }

TMemoryStream StreamOf(const std::string& bytes, std::size_t position)
{
    TMemoryStream stream;
    stream.Write(bytes.data(), bytes.size());
    stream.Seek(position);
    return stream;
}

struct OleRuntime : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override { OleUninitialize(); }
};

// --- the stream adapter ---------------------------------------------------------------------------

using StreamAdapterTest = OleRuntime;

TEST_F(StreamAdapterTest, WritesAndReadsAtTheStreamsOwnPosition)
{
    struct Case {
        const char* name;
        std::string start;
        std::size_t position;
        std::string written;
        std::string after;
        std::size_t positionAfter;
    };
    const Case cases[] = {
        {"into the middle", "abcdef", 2, "XY", "abXYef", 4},
        {"past the end grows", "abc", 2, "XYZ", "abXYZ", 5},
        {"into an empty stream", "", 0, "<html>", "<html>", 6},
        {"nothing", "abc", 1, "", "abc", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream stream = StreamOf(c.start, c.position);
        IStream* adapter = StreamAdapter::Create(stream);
        ULONG written = 99;
        EXPECT_EQ(adapter->Write(c.written.data(), static_cast<ULONG>(c.written.size()), &written), S_OK);
        EXPECT_EQ(written, c.written.size());
        EXPECT_EQ(adapter->Release(), 0u);
        // The stream outlives the adapter and holds the bytes.
        EXPECT_EQ(Text(stream), c.after);
        EXPECT_EQ(stream.Position(), c.positionAfter);
    }

    TMemoryStream stream = StreamOf("hello", 1);
    IStream* adapter = StreamAdapter::Create(stream);
    char buffer[16] = {};
    ULONG read = 0;
    EXPECT_EQ(adapter->Read(buffer, sizeof buffer, &read), S_OK);
    EXPECT_EQ(std::string(buffer, read), "ello");
    EXPECT_EQ(adapter->Read(buffer, sizeof buffer, &read), S_OK);
    EXPECT_EQ(read, 0u);
    adapter->Release();
    EXPECT_EQ(stream.Position(), 5u);
}

TEST_F(StreamAdapterTest, SeeksFromEachOriginAndRefusesBeforeTheStart)
{
    struct Case {
        const char* name;
        DWORD origin;
        LONGLONG move;
        HRESULT result;
        std::size_t position;
    };
    const Case cases[] = {
        {"from the start", STREAM_SEEK_SET, 3, S_OK, 3},
        {"from the position", STREAM_SEEK_CUR, -1, S_OK, 1},
        {"from the end", STREAM_SEEK_END, -2, S_OK, 8},
        {"past the end", STREAM_SEEK_END, 4, S_OK, 14},
        {"before the start", STREAM_SEEK_CUR, -3, STG_E_INVALIDFUNCTION, 2},
        {"unknown origin", 7, 0, STG_E_INVALIDFUNCTION, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream stream = StreamOf("0123456789", 2);
        IStream* adapter = StreamAdapter::Create(stream);
        LARGE_INTEGER move;
        move.QuadPart = c.move;
        ULARGE_INTEGER reached{};
        EXPECT_EQ(adapter->Seek(move, c.origin, &reached), c.result);
        EXPECT_EQ(stream.Position(), c.position);
        if (c.result == S_OK) {
            EXPECT_EQ(reached.QuadPart, c.position);
        }
        STATSTG stat{};
        EXPECT_EQ(adapter->Stat(&stat, STATFLAG_NONAME), S_OK);
        EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STREAM));
        EXPECT_EQ(stat.cbSize.QuadPart, 10u);
        adapter->Release();
    }
}

TEST_F(StreamAdapterTest, ServesTheSystemsOwnStreamFunctions)
{
    // The runtime writes and reads a class id through the adapter.
    TMemoryStream stream = StreamOf("head", 4);
    IStream* adapter = StreamAdapter::Create(stream);
    ASSERT_EQ(WriteClassStm(adapter, CLSID_WebBrowser), S_OK);
    EXPECT_EQ(stream.Size(), 4u + sizeof(CLSID));
    stream.Seek(4);
    CLSID read{};
    ASSERT_EQ(ReadClassStm(adapter, &read), S_OK);
    EXPECT_TRUE(IsEqualCLSID(read, CLSID_WebBrowser));

    // And copies it whole into a stream of its own.
    IStream* copy = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &copy), S_OK);
    stream.Seek(0);
    ULARGE_INTEGER all;
    all.QuadPart = ~0ull;
    ULARGE_INTEGER got{}, put{};
    EXPECT_EQ(adapter->CopyTo(copy, all, &got, &put), S_OK);
    EXPECT_EQ(got.QuadPart, stream.Size());
    EXPECT_EQ(put.QuadPart, stream.Size());
    copy->Release();

    IUnknown* unknown = nullptr;
    EXPECT_EQ(adapter->QueryInterface(IID_ISequentialStream, reinterpret_cast<void**>(&unknown)), S_OK);
    unknown->Release();
    EXPECT_EQ(adapter->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&unknown)), E_NOINTERFACE);
    EXPECT_EQ(unknown, nullptr);
    EXPECT_EQ(adapter->Release(), 0u);
}

// --- late binding -------------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE FillInLater(EXCEPINFO* info)
{
    info->bstrDescription = SysAllocString(L"Descrizione differita");
    return S_OK;
}

// An object of a document model: named members, matched without regard to case.
class ModelObject final : public IDispatch {
public:
    enum class Kind { Child, Empty, Number, Refuse, RefuseDeferred, RefuseWithCode, Fail, Unknown, Settable };
    struct Member {
        Kind kind;
        ModelObject* child = nullptr;
    };

    std::map<std::wstring, Member> members;  // lower-case names
    std::vector<std::wstring> assigned;      // "name=value"
    std::vector<WORD> flagsSeen;
    LONG references = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override
    {
        std::wstring name = names[0];
        for (auto& ch : name)
            ch = static_cast<wchar_t>(towlower(ch));
        auto found = members.find(name);
        if (found == members.end()) {
            ids[0] = DISPID_UNKNOWN;
            return DISP_E_UNKNOWNNAME;
        }
        ids[0] = static_cast<DISPID>(std::distance(members.begin(), found) + 1);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override
    {
        flagsSeen.push_back(flags);
        auto member = members.begin();
        std::advance(member, id - 1);
        switch (member->second.kind) {
        case Kind::Child:
            if (parameters->cArgs != 0)
                return DISP_E_BADPARAMCOUNT;
            V_VT(result) = VT_DISPATCH;
            V_DISPATCH(result) = member->second.child;
            member->second.child->AddRef();
            return S_OK;
        case Kind::Empty:
            VariantInit(result);
            return S_OK;
        case Kind::Number:
            V_VT(result) = VT_I4;
            V_I4(result) = 7;
            return S_OK;
        case Kind::Refuse:
            std::memset(exception, 0, sizeof *exception);
            exception->bstrDescription = SysAllocString(L"Accesso negato all'oggetto");
            exception->scode = E_ACCESSDENIED;
            return DISP_E_EXCEPTION;
        case Kind::RefuseDeferred:
            std::memset(exception, 0, sizeof *exception);
            exception->pfnDeferredFillIn = &FillInLater;
            return DISP_E_EXCEPTION;
        case Kind::RefuseWithCode:
            std::memset(exception, 0, sizeof *exception);
            exception->scode = E_FAIL;
            return DISP_E_EXCEPTION;
        case Kind::Fail:
            return E_FAIL;
        case Kind::Unknown:
            return static_cast<HRESULT>(0x8004ABCDL);
        case Kind::Settable:
            if (!(flags & DISPATCH_PROPERTYPUT) || parameters->cArgs != 1 || parameters->cNamedArgs != 1 ||
                parameters->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT || V_VT(&parameters->rgvarg[0]) != VT_BSTR)
                return DISP_E_MEMBERNOTFOUND;
            assigned.push_back(member->first + L"=" + V_BSTR(&parameters->rgvarg[0]));
            return S_OK;
        }
        return E_UNEXPECTED;
    }
};

struct LateBinding : OleRuntime {
    ModelObject control, document, body, style;

    void SetUp() override
    {
        OleRuntime::SetUp();
        control.members[L"document"] = {ModelObject::Kind::Child, &document};
        document.members[L"body"] = {ModelObject::Kind::Child, &body};
        document.members[L"empty"] = {ModelObject::Kind::Empty};
        document.members[L"number"] = {ModelObject::Kind::Number};
        body.members[L"style"] = {ModelObject::Kind::Child, &style};
        for (const wchar_t* name : {L"overflowx", L"scrollbar3dlightcolor", L"color"})
            style.members[name] = {ModelObject::Kind::Settable};
        style.members[L"refuse"] = {ModelObject::Kind::Refuse};
        style.members[L"refusedeferred"] = {ModelObject::Kind::RefuseDeferred};
        style.members[L"refusewithcode"] = {ModelObject::Kind::RefuseWithCode};
        style.members[L"fail"] = {ModelObject::Kind::Fail};
        style.members[L"unknown"] = {ModelObject::Kind::Unknown};
    }
};

TEST_F(LateBinding, PathsAreReadByNameInAnyCaseAndValuesAssigned)
{
    {
        DispatchObject root(&control);
        root.Get("Document")->Get("Body")->Get("Style")->Set("OverflowX", "hidden");
        root.Get("document")->Get("body")->Get("Style")->Set("scrollbar3DLIGHTCOLOR", "#F0F5D5");
    }
    EXPECT_THAT(style.assigned, ElementsAre(L"overflowx=hidden", L"scrollbar3dlightcolor=#F0F5D5"));
    // Reads ask for a method or a property; the assignment is a property put.
    EXPECT_THAT(control.flagsSeen, ElementsAre(DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                               DISPATCH_METHOD | DISPATCH_PROPERTYGET));
    EXPECT_THAT(style.flagsSeen, ElementsAre(DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUT));
    // Every reference taken on the way is given back.
    for (ModelObject* object : {&control, &document, &body, &style})
        EXPECT_EQ(object->references, 1);
}

TEST_F(LateBinding, FailuresCarryTheirMessages)
{
    struct Case {
        const char* name;
        std::function<void(DispatchObject&)> action;
        std::string message;
    };
    const auto style_ = [](DispatchObject& root) { return root.Get("Document")->Get("Body")->Get("Style"); };
    const Case cases[] = {
        {"unknown property read", [](DispatchObject& r) { r.Get("Documento"); },
         "Method 'Documento' not supported by automation object"},
        {"unknown property assigned", [&](DispatchObject& r) { style_(r)->Set("scrollbarArrowColor", "#000000"); },
         "Method 'scrollbarArrowColor' not supported by automation object"},
        {"read gives no object", [](DispatchObject& r) { r.Get("Document")->Get("Empty"); },
         "Variant does not reference an automation object"},
        {"read gives a number", [](DispatchObject& r) { r.Get("Document")->Get("Number"); },
         "Variant does not reference an automation object"},
        {"refusal with a description", [&](DispatchObject& r) { style_(r)->Set("Refuse", "x"); },
         "Accesso negato all'oggetto"},
        {"description filled in later", [&](DispatchObject& r) { style_(r)->Set("RefuseDeferred", "x"); },
         "Descrizione differita"},
        {"code without a text", [&](DispatchObject& r) { style_(r)->Set("Unknown", "x"); }, "OLE error 8004ABCD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DispatchObject root(&control);
        try {
            c.action(root);
            ADD_FAILURE() << "no failure";
        } catch (const Error& failure) {
            EXPECT_EQ(std::string(failure.what()), c.message);
        }
    }
    // Refusals with only a code carry the system's text for it.
    for (const char* name : {"RefuseWithCode", "Fail"}) {
        SCOPED_TRACE(name);
        DispatchObject root(&control);
        try {
            style_(root)->Set(name, "x");
            ADD_FAILURE() << "no failure";
        } catch (const Error& failure) {
            EXPECT_EQ(std::string(failure.what()), SystemErrorText(E_FAIL));
            EXPECT_FALSE(std::string(failure.what()).empty());
        }
    }
    for (ModelObject* object : {&control, &document, &body, &style})
        EXPECT_EQ(object->references, 1);
}

TEST(OleErrorTexts, SystemTextWithoutTrailingStopOrFallbackWithTheCode)
{
    const std::string text = OleErrorText(E_OUTOFMEMORY);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '.');
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(text.rfind("OLE error", 0), std::string::npos);
    EXPECT_EQ(OleErrorText(static_cast<HRESULT>(0x8004ABCDL)), "OLE error 8004ABCD");
    EXPECT_THROW(OleCheck(E_FAIL), Error);
    EXPECT_NO_THROW(OleCheck(S_FALSE));
}

// --- the event receiver -------------------------------------------------------------------------------

struct EventArguments {
    // BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel), last first.
    VARIANT args[7];
    VARIANT url, flags, frame, postData, headers;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    DISPPARAMS parameters{args, nullptr, 7, 0};

    explicit EventArguments(const wchar_t* address)
    {
        for (VARIANT* v : {&url, &flags, &frame, &postData, &headers})
            VariantInit(v);
        V_VT(&url) = VT_BSTR;
        V_BSTR(&url) = SysAllocString(address);
        for (auto& arg : args)
            VariantInit(&arg);
        V_VT(&args[6]) = VT_DISPATCH;
        V_DISPATCH(&args[6]) = nullptr;
        V_VT(&args[5]) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&args[5]) = &url;
        V_VT(&args[4]) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&args[4]) = &flags;
        V_VT(&args[3]) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&args[3]) = &frame;
        V_VT(&args[2]) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&args[2]) = &postData;
        V_VT(&args[1]) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&args[1]) = &headers;
        V_VT(&args[0]) = VT_BOOL | VT_BYREF;
        V_BOOLREF(&args[0]) = &cancel;
    }
    ~EventArguments() { VariantClear(&url); }
};

TEST(BrowserEvents, BeforeNavigate2GivesTheAddressAndWritesTheCancelFlag)
{
    struct Case {
        const char* name;
        const wchar_t* address;
        std::function<void(bool&)> handler;
        std::string seen;
        VARIANT_BOOL cancel;
    };
    const Case cases[] = {
        {"cancelled", L"about:TR001|http://127.0.0.1/p", [](bool& c) { c = true; }, "about:TR001|http://127.0.0.1/p",
         VARIANT_TRUE},
        {"left untouched", L"http://127.0.0.1/", [](bool&) {}, "http://127.0.0.1/", VARIANT_FALSE},
        {"handler fails", L"http://127.0.0.1/x", [](bool&) { throw Error("x"); }, "http://127.0.0.1/x", VARIANT_FALSE},
        {"character outside the code page", L"about:\u4E2D", [](bool&) {}, "about:?", VARIANT_FALSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BrowserEventSink* sink = BrowserEventSink::Create();
        std::string seen;
        sink->SetOnBeforeNavigate2([&](const std::string& url, bool& cancel) {
            seen = url;
            c.handler(cancel);
        });
        EventArguments arguments(c.address);
        EXPECT_EQ(sink->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD, &arguments.parameters, nullptr,
                               nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(seen, c.seen);
        EXPECT_EQ(arguments.cancel, c.cancel);
        if (c.cancel == VARIANT_TRUE) {
            EXPECT_EQ(static_cast<short>(arguments.cancel), -1);
        }
        EXPECT_EQ(sink->Release(), 0u);
    }
}

TEST(BrowserEvents, DocumentCompleteGivesTheAddressAndOtherEventsAreIgnored)
{
    BrowserEventSink* sink = BrowserEventSink::Create();
    std::vector<std::string> completed;
    int navigations = 0;
    sink->SetOnDocumentComplete([&](const std::string& url) { completed.push_back(url); });
    sink->SetOnBeforeNavigate2([&](const std::string&, bool&) { ++navigations; });

    VARIANT url;
    VariantInit(&url);
    V_VT(&url) = VT_BSTR;
    V_BSTR(&url) = SysAllocString(L"about:blank");
    VARIANT args[2];
    VariantInit(&args[1]);
    V_VT(&args[1]) = VT_DISPATCH;
    V_DISPATCH(&args[1]) = nullptr;
    V_VT(&args[0]) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&args[0]) = &url;
    DISPPARAMS parameters{args, nullptr, 2, 0};
    EXPECT_EQ(sink->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr,
                           nullptr),
              S_OK);
    EXPECT_EQ(sink->Invoke(DISPID_NAVIGATECOMPLETE2, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr,
                           nullptr),
              S_OK);
    EXPECT_THAT(completed, ElementsAre("about:blank"));
    EXPECT_EQ(navigations, 0);

    // Detached, it raises nothing.
    sink->Detach();
    sink->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
    EXPECT_EQ(completed.size(), 1u);

    IUnknown* events = nullptr;
    EXPECT_EQ(sink->QueryInterface(DIID_DWebBrowserEvents2, reinterpret_cast<void**>(&events)), S_OK);
    events->Release();
    EXPECT_EQ(sink->Release(), 0u);
    VariantClear(&url);
}

// --- text at the boundary -------------------------------------------------------------------------------

TEST(BoundaryText, AnsiAndUtf16ConvertThroughTheCodePage)
{
    EXPECT_EQ(ToWide(""), L"");
    EXPECT_EQ(ToAnsi(L""), "");
    EXPECT_EQ(ToWide("about:blank"), L"about:blank");
    EXPECT_EQ(ToAnsi(L"http://127.0.0.1/a?b=c"), "http://127.0.0.1/a?b=c");
    EXPECT_EQ(BstrToAnsi(nullptr), "");
    // Embedded NUL characters survive both ways.
    EXPECT_EQ(ToAnsi(ToWide(std::string("a\0b", 3))), std::string("a\0b", 3));
    if (GetACP() != 1252)
        GTEST_SKIP() << "the ANSI code page here is " << GetACP();
    EXPECT_EQ(ToWide("Citt\xE0 \x80"), L"Citt\u00E0 \u20AC");
    EXPECT_EQ(ToAnsi(L"Citt\u00E0 \u20AC"), "Citt\xE0 \x80");
    EXPECT_EQ(ToAnsi(L"\u4E2D\u6587"), "??");
}

}  // namespace
}  // namespace velastrom::win32
