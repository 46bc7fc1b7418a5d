// Late binding on an object of the browser's document model: properties read
// and assigned by name through its IDispatch.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <memory>
#include <string>

#include "browser/Browser.h"
#include "browser/win32/ComText.h"

namespace velastrom::win32 {

class DispatchObject final : public IAutomationObject {
public:
    // Holds its own reference to the object.
    explicit DispatchObject(IDispatch* object);

    // Asks the object, by name, for a value with no arguments (served as a
    // method or as a property); the value must be an object.
    std::shared_ptr<IAutomationObject> Get(const std::string& name) override;
    // Assigns the text to the named property.
    void Set(const std::string& name, const std::string& value) override;

    IDispatch* Object() const { return object_.get(); }

private:
    DISPID IdOf(const std::string& name);
    ComPtr<IDispatch> object_;
};

// The message for a failed Invoke: the object's own description when the
// failure is an exception that carries one, otherwise the failure code's text.
std::string InvokeFailureText(HRESULT code, EXCEPINFO& exception);

}  // namespace velastrom::win32
