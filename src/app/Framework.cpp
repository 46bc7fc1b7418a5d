#include "app/Framework.h"

namespace velastrom {

std::string ExceptionText(const std::string& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}

void HandleException(IApplication& app, const std::exception& failure)
{
    app.ShowErrorBox(ExceptionText(failure.what()));
}

void DispatchEvent(IApplication& app, const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& failure) {
        HandleException(app, failure);
    }
}

bool RunClosePath(IApplication& app, IDashboardEvents& events)
{
    bool canClose = true;
    events.FormCloseQuery(canClose);
    if (!canClose)
        return false;
    TCloseAction action = TCloseAction::Hide;
    events.FormClose(action);
    if (action == TCloseAction::None)
        return false;
    app.Terminate();
    return true;
}

}  // namespace velastrom
