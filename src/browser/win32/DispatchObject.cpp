#include "browser/win32/DispatchObject.h"

#include "common/Error.h"

namespace velastrom::win32 {

namespace {

// Frees the strings of an EXCEPINFO on every path.
struct ExceptionInfo {
    EXCEPINFO info{};
    ~ExceptionInfo()
    {
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
    }
};

struct Variant {
    VARIANT value;
    Variant() { VariantInit(&value); }
    ~Variant() { VariantClear(&value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

}  // namespace

std::string InvokeFailureText(HRESULT code, EXCEPINFO& exception)
{
    if (code == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn != nullptr) {
            exception.pfnDeferredFillIn(&exception);
            exception.pfnDeferredFillIn = nullptr;
        }
        std::string description = BstrToAnsi(exception.bstrDescription);
        if (!description.empty())
            return description;
        const HRESULT inner = exception.scode != 0 ? exception.scode : static_cast<HRESULT>(exception.wCode);
        if (inner != 0)
            return OleErrorText(inner);
    }
    return OleErrorText(code);
}

DispatchObject::DispatchObject(IDispatch* object)
{
    if (object == nullptr)
        throw Error("Variant does not reference an automation object");
    object->AddRef();
    object_ = ComPtr<IDispatch>::Attach(object);
}

DISPID DispatchObject::IdOf(const std::string& name)
{
    std::wstring wide = ToWide(name);
    LPOLESTR names[1] = {wide.data()};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT result = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (result == DISP_E_UNKNOWNNAME)
        throw Error("Method '" + name + "' not supported by automation object");
    OleCheck(result);
    return id;
}

std::shared_ptr<IAutomationObject> DispatchObject::Get(const std::string& name)
{
    const DISPID id = IdOf(name);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant result;
    ExceptionInfo exception;
    UINT argumentError = 0;
    const HRESULT code = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                         &none, &result.value, &exception.info, &argumentError);
    if (FAILED(code))
        throw Error(InvokeFailureText(code, exception.info));
    IDispatch* object = nullptr;
    if (V_VT(&result.value) == VT_DISPATCH)
        object = V_DISPATCH(&result.value);
    else if (V_VT(&result.value) == (VT_DISPATCH | VT_BYREF) && V_DISPATCHREF(&result.value) != nullptr)
        object = *V_DISPATCHREF(&result.value);
    if (object == nullptr)
        throw Error("Variant does not reference an automation object");
    return std::make_shared<DispatchObject>(object);
}

void DispatchObject::Set(const std::string& name, const std::string& value)
{
    const DISPID id = IdOf(name);
    Bstr text(value);
    VARIANT argument;
    VariantInit(&argument);
    V_VT(&argument) = VT_BSTR;
    V_BSTR(&argument) = text.get();
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{&argument, &named, 1, 1};
    ExceptionInfo exception;
    UINT argumentError = 0;
    const HRESULT code = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &parameters,
                                         nullptr, &exception.info, &argumentError);
    if (FAILED(code))
        throw Error(InvokeFailureText(code, exception.info));
}

}  // namespace velastrom::win32
