#include "browser/webkit/WebKitAutomation.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "browser/webkit/WebKitBrowser.h"
#include "browser/webkit/Windows1252.h"
#include "common/Error.h"

namespace velastrom::webkit {
namespace {

bool SameName(const std::string& a, const char* b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

[[noreturn]] void NotSupported(const std::string& name)
{
    throw Error("Method '" + name + "' not supported by automation object");
}

[[noreturn]] void NoObject()
{
    throw Error("Variant does not reference an automation object");
}

// A JavaScript string literal holding the text.
std::string Quoted(const std::string& text)
{
    const std::string utf8 = Windows1252ToUtf8(text);
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Assigns one property of the body's inline style. The scroll-bar colours
// have no inline property in this engine: they become the page's
// scroll-bar rules instead.
constexpr const char* SetStyleScript = R"JS(
(function (name, value) {
  var body = document.body;
  if (!body) return 'nobody';
  var lower = name.toLowerCase();
  var parts = { scrollbararrowcolor: 'arrow', scrollbar3dlightcolor: 'light',
                scrollbardarkshadowcolor: 'darkShadow', scrollbarfacecolor: 'face',
                scrollbarhighlightcolor: 'highlight', scrollbarshadowcolor: 'shadow',
                scrollbartrackcolor: 'track' };
  if (Object.prototype.hasOwnProperty.call(parts, lower)) {
    var c = window.__velastromScrollbar = window.__velastromScrollbar || {};
    c[parts[lower]] = value;
    var sheet = document.getElementById('__velastromScrollbar');
    if (!sheet) {
      sheet = document.createElement('style');
      sheet.id = '__velastromScrollbar';
      (document.head || document.documentElement).appendChild(sheet);
    }
    var css = '::-webkit-scrollbar { width: 16px; height: 16px; }';
    if (c.track) css += '::-webkit-scrollbar, ::-webkit-scrollbar-track, ::-webkit-scrollbar-corner { background: ' + c.track + '; }';
    if (c.face) css += '::-webkit-scrollbar-thumb, ::-webkit-scrollbar-button { background: ' + c.face + '; }';
    css += '::-webkit-scrollbar-thumb, ::-webkit-scrollbar-button { border: 1px solid; border-color: '
         + (c.light || c.highlight || 'transparent') + ' ' + (c.darkShadow || c.shadow || 'transparent') + ' '
         + (c.darkShadow || c.shadow || 'transparent') + ' ' + (c.light || c.highlight || 'transparent') + '; }';
    if (c.arrow) css += '::-webkit-scrollbar-button { color: ' + c.arrow + '; }';
    sheet.textContent = css;
    return 'ok';
  }
  var style = body.style;
  for (var key in style) {
    if (key.indexOf('-') < 0 && key.toLowerCase() === lower && typeof style[key] === 'string') {
      style[key] = value;
      return 'ok';
    }
  }
  return 'unknown';
})
)JS";

class StyleObject final : public IAutomationObject {
public:
    explicit StyleObject(WebKitBrowser& browser) : browser_(browser) {}

    // What an assignment's result from the page means.
    static void Check(const std::string& result, const std::string& name)
    {
        if (result == "unknown")
            NotSupported(name);
        if (result == "nobody")
            NoObject();
    }

    std::shared_ptr<IAutomationObject> Get(const std::string& name) override { NotSupported(name); }

    void Set(const std::string& name, const std::string& value) override
    {
        Check(browser_.RunScript(std::string(SetStyleScript) + "(" + Quoted(name) + ", " + Quoted(value) + ")"),
              name);
    }

private:
    WebKitBrowser& browser_;
};

class BodyObject final : public IAutomationObject {
public:
    explicit BodyObject(WebKitBrowser& browser) : browser_(browser) {}

    std::shared_ptr<IAutomationObject> Get(const std::string& name) override
    {
        if (!SameName(name, "Style"))
            NotSupported(name);
        return std::make_shared<StyleObject>(browser_);
    }

    void Set(const std::string& name, const std::string&) override { NotSupported(name); }

private:
    WebKitBrowser& browser_;
};

class DocumentObject final : public IAutomationObject {
public:
    explicit DocumentObject(WebKitBrowser& browser) : browser_(browser) {}

    std::shared_ptr<IAutomationObject> Get(const std::string& name) override
    {
        if (!SameName(name, "Body"))
            NotSupported(name);
        // Whether the body exists is asked by the assignment itself, in the
        // same round trip to the web process: a document without a body
        // fails there with the same message.
        return std::make_shared<BodyObject>(browser_);
    }

    void Set(const std::string& name, const std::string&) override { NotSupported(name); }

private:
    WebKitBrowser& browser_;
};

class RootObject final : public IAutomationObject {
public:
    explicit RootObject(WebKitBrowser& browser) : browser_(browser) {}

    std::shared_ptr<IAutomationObject> Get(const std::string& name) override
    {
        if (!SameName(name, "Document"))
            NotSupported(name);
        if (!browser_.HasDocument())
            NoObject();
        return std::make_shared<DocumentObject>(browser_);
    }

    void Set(const std::string& name, const std::string&) override { NotSupported(name); }

private:
    WebKitBrowser& browser_;
};

// Applies [name, value] rows in order, each reading the body afresh, up to
// the first that fails: "ok", or that row's index and result.
constexpr const char* SetStylesScript = R"JS(
(function (set, rows) {
  for (var i = 0; i < rows.length; ++i) {
    var result = set(rows[i][0], rows[i][1]);
    if (result !== 'ok') return i + ' ' + result;
  }
  return 'ok';
})
)JS";

}  // namespace

std::shared_ptr<IAutomationObject> MakeAutomationRoot(WebKitBrowser& browser)
{
    return std::make_shared<RootObject>(browser);
}

void SetBodyStylesInOneScript(WebKitBrowser& browser, std::span<const TBodyStyleAssignment> rows)
{
    // The names: the chain's objects check them without asking the page.
    std::size_t refused = rows.size();
    std::exception_ptr refusal;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        try {
            MakeAutomationRoot(browser)->Get(rows[i].Document)->Get(rows[i].Body)->Get(rows[i].Style);
        } catch (...) {
            refused = i;
            refusal = std::current_exception();
            break;
        }
    }
    if (refused > 0) {
        std::string list = "[";
        for (std::size_t i = 0; i < refused; ++i)
            list += std::string(i ? ", " : "") + "[" + Quoted(rows[i].Property) + ", " + Quoted(rows[i].Value) + "]";
        list += "]";
        const std::string result = browser.RunScript(std::string(SetStylesScript) + "(" + SetStyleScript + ", " +
                                                     list + ")");
        if (result != "ok") {
            const std::size_t space = result.find(' ');
            const std::size_t failed = std::strtoul(result.c_str(), nullptr, 10);
            StyleObject::Check(space == std::string::npos ? result : result.substr(space + 1),
                               failed < refused ? rows[failed].Property : "");
        }
    }
    if (refusal)
        std::rethrow_exception(refusal);
}

}  // namespace velastrom::webkit
