// The assignments of the body's style, one late-bound chain each.
#include "browser/Browser.h"
#include "common/Error.h"

namespace velastrom {

namespace {

std::shared_ptr<IAutomationObject> Step(const std::shared_ptr<IAutomationObject>& object, const char* name)
{
    auto next = object->Get(name);
    if (!next)
        throw Error("Variant does not reference an automation object");
    return next;
}

}  // namespace

void IWebBrowser::SetBodyStyles(std::span<const TBodyStyleAssignment> rows)
{
    for (const TBodyStyleAssignment& row : rows) {
        auto root = Automation();
        if (!root)
            throw Error("Variant does not reference an automation object");
        auto style = Step(Step(Step(root, row.Document), row.Body), row.Style);
        style->Set(row.Property, row.Value);
    }
}

}  // namespace velastrom
