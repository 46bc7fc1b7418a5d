#include "browser/webkit/WebKitBrowser.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "browser/webkit/WebKitAutomation.h"
#include "browser/webkit/Windows1252.h"
#include "common/Error.h"

namespace velastrom::webkit {
namespace {

constexpr const char* LinkChannel = "velastromLink";
constexpr const char* FrameChannel = "velastromFrame";

// Reports the href of a clicked link exactly as written, before the engine
// resolves it; the click comes ahead of the navigation it causes. A frame
// reports when its document has loaded, ahead of the top-level document.
constexpr const char* LinkScript = R"JS(
window.addEventListener('click', function (event) {
  var node = event.target;
  while (node && !(node.nodeType === 1 && (node.localName === 'a' || node.localName === 'area')
                   && node.hasAttribute('href')))
    node = node.parentNode;
  if (node)
    window.webkit.messageHandlers.velastromLink.postMessage([node.getAttribute('href'), node.href]);
}, true);
if (window !== window.top)
  window.addEventListener('load', function () {
    window.webkit.messageHandlers.velastromFrame.postMessage(String(location.href));
  });
)JS";

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The charset a page names itself: a byte-order mark, or a meta element's
// charset within the first 1024 bytes. Empty when it names none.
std::string DeclaredCharset(const std::string& bytes)
{
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0)
        return "UTF-8";
    if (bytes.rfind("\xFF\xFE", 0) == 0)
        return "UTF-16LE";
    if (bytes.rfind("\xFE\xFF", 0) == 0)
        return "UTF-16BE";
    const std::string head = Lower(bytes.substr(0, 1024));
    for (std::size_t meta = head.find("<meta"); meta != std::string::npos; meta = head.find("<meta", meta + 5)) {
        const std::size_t end = head.find('>', meta);
        const std::string tag = head.substr(meta, end == std::string::npos ? std::string::npos : end - meta);
        const std::size_t at = tag.find("charset");
        if (at == std::string::npos)
            continue;
        std::size_t i = at + 7;
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i])))
            ++i;
        if (i >= tag.size() || tag[i] != '=')
            continue;
        ++i;
        while (i < tag.size() && (std::isspace(static_cast<unsigned char>(tag[i])) || tag[i] == '"' || tag[i] == '\''))
            ++i;
        std::size_t stop = i;
        while (stop < tag.size() && !std::isspace(static_cast<unsigned char>(tag[stop])) &&
               tag[stop] != '"' && tag[stop] != '\'' && tag[stop] != ';' && tag[stop] != '/')
            ++stop;
        if (stop > i)
            return tag.substr(i, stop - i);
    }
    return {};
}

std::string EscapeHtml(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// The document shown in place of a page that could not be loaded (UTF-8).
std::string ErrorPage(const std::string& uri, const std::string& message)
{
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Impossibile visualizzare la pagina</title>"
           "</head><body><h1>Impossibile visualizzare la pagina</h1><p>" +
           EscapeHtml(uri) + "</p><p>" + EscapeHtml(message) + "</p></body></html>\n";
}

// Pages shown from memory live under their own scheme; anything else asked
// of it does not exist.
void RefuseMemoryRequest(WebKitURISchemeRequest* request, gpointer)
{
    GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "Not found");
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
}

// The program's web context. Its website data (cache, cookies, site
// storage) lives in memory only and ends with the run, as a private
// window's does: nothing is written to disk, and the start page comes from
// its server at every start. Pages shown from memory live under a scheme of
// its own.
WebKitWebContext* ProgramContext()
{
    static WebKitWebContext* const context = [] {
        WebKitWebContext* created = webkit_web_context_new_ephemeral();
        webkit_web_context_register_uri_scheme(created, "velastrom-memory", RefuseMemoryRequest, nullptr, nullptr);
        return created;
    }();
    return context;
}

}  // namespace

WebKitBrowser::WebKitBrowser(WebKitBrowser* related)
{
    content_ = webkit_user_content_manager_new();
    // A related view shares the other's context, and with it its web process
    // and its website data.
    if (related)
        view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related->view_,
                                             "user-content-manager", content_, nullptr));
    else
        view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", ProgramContext(),
                                             "user-content-manager", content_, nullptr));
    g_object_ref_sink(view_);

    WebKitSettings* settings = webkit_web_view_get_settings(view_);
    webkit_settings_set_default_charset(settings, "windows-1252");

    WebKitUserScript* script = webkit_user_script_new(LinkScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                                      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content_, script);
    webkit_user_script_unref(script);
    g_signal_connect(content_, (std::string("script-message-received::") + LinkChannel).c_str(),
                     G_CALLBACK(OnLinkMessage), this);
    webkit_user_content_manager_register_script_message_handler(content_, LinkChannel);
    g_signal_connect(content_, (std::string("script-message-received::") + FrameChannel).c_str(),
                     G_CALLBACK(OnFrameMessage), this);
    webkit_user_content_manager_register_script_message_handler(content_, FrameChannel);

    g_signal_connect(view_, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
    g_signal_connect(view_, "load-failed", G_CALLBACK(OnLoadFailed), this);
}

WebKitBrowser::~WebKitBrowser()
{
    ForgetMainResource();
    g_signal_handlers_disconnect_by_data(view_, this);
    g_signal_handlers_disconnect_by_data(content_, this);
    webkit_web_view_stop_loading(view_);
    if (GtkWidget* parent = gtk_widget_get_parent(GTK_WIDGET(view_)))
        gtk_container_remove(GTK_CONTAINER(parent), GTK_WIDGET(view_));
    g_object_unref(view_);
    g_object_unref(content_);
}

void WebKitBrowser::Navigate(const std::string& address)
{
    if (inDecision_) {
        // Called from BeforeNavigate2: the decision under way ends first.
        queuedNavigate_ = true;
        queuedAddress_ = address;
        return;
    }
    StartNavigate(address);
}

void WebKitBrowser::StartNavigate(const std::string& address)
{
    stateBeforeNavigate_ = readyState_;
    ownNavigationPending_ = true;
    errorPagePending_ = false;
    readyState_ = READYSTATE_LOADING;
    webkit_web_view_load_uri(view_, Windows1252ToUtf8(address).c_str());
}

void WebKitBrowser::Stop()
{
    webkit_web_view_stop_loading(view_);
    ownNavigationPending_ = false;
    if (!hasDocument_) {
        // Nothing was shown yet: the control still ends with a document.
        internalLoadPending_ = true;
        webkit_web_view_load_html(view_, "", "about:blank");
        hasDocument_ = true;
    }
    readyState_ = std::max(readyState_, static_cast<int>(READYSTATE_INTERACTIVE));
}

void WebKitBrowser::Save(TMemoryStream& stream)
{
    WebKitWebResource* resource = hasDocument_ ? webkit_web_view_get_main_resource(view_) : nullptr;
    if (!resource)
        throw Error("Interface not supported");
    struct Result {
        bool done = false;
        GBytes* bytes = nullptr;
    } result;
    g_object_ref(resource);
    webkit_web_resource_get_data(
        resource, nullptr,
        [](GObject* source, GAsyncResult* async, gpointer data) {
            auto* r = static_cast<Result*>(data);
            gsize length = 0;
            guchar* bytes = webkit_web_resource_get_data_finish(WEBKIT_WEB_RESOURCE(source), async, &length, nullptr);
            if (bytes)
                r->bytes = g_bytes_new_take(bytes, length);
            r->done = true;
        },
        &result);
    while (!result.done)
        g_main_context_iteration(nullptr, TRUE);
    g_object_unref(resource);
    if (!result.bytes)
        throw Error("Interface not supported");
    gsize length = 0;
    const void* data = g_bytes_get_data(result.bytes, &length);
    stream.Write(data, length);
    g_bytes_unref(result.bytes);
}

void WebKitBrowser::Load(TMemoryStream& stream)
{
    const std::string bytes = stream.ReadToEnd();
    std::string charset = DeclaredCharset(bytes);
    if (charset.empty())
        charset = "windows-1252";
    GBytes* data = g_bytes_new(bytes.data(), bytes.size());
    internalLoadPending_ = true;
    ownNavigationPending_ = false;
    errorPagePending_ = false;
    readyState_ = READYSTATE_LOADING;
    webkit_web_view_load_bytes(view_, data, "text/html", charset.c_str(), MemoryBase);
    g_bytes_unref(data);
}

std::shared_ptr<IAutomationObject> WebKitBrowser::Automation()
{
    return MakeAutomationRoot(*this);
}

void WebKitBrowser::SetBodyStyles(std::span<const TBodyStyleAssignment> rows)
{
    SetBodyStylesInOneScript(*this, rows);
}

void WebKitBrowser::Focus()
{
    gtk_widget_grab_focus(GTK_WIDGET(view_));
    webkit_web_view_evaluate_javascript(view_, "window.focus();", -1, nullptr, nullptr, nullptr, nullptr, nullptr);
}

std::string WebKitBrowser::RunScript(const std::string& utf8Script)
{
    struct Result {
        bool done = false;
        std::string value;
        std::string error;
    } result;
    webkit_web_view_evaluate_javascript(
        view_, utf8Script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* async, gpointer data) {
            auto* r = static_cast<Result*>(data);
            GError* error = nullptr;
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), async, &error);
            if (value) {
                char* text = jsc_value_to_string(value);
                r->value = text ? text : "";
                g_free(text);
                g_object_unref(value);
            } else {
                r->error = error && error->message ? error->message : "Script failed";
            }
            if (error)
                g_error_free(error);
            r->done = true;
        },
        &result);
    while (!result.done)
        g_main_context_iteration(nullptr, TRUE);
    if (!result.error.empty())
        throw Error(Utf8ToWindows1252(result.error));
    return result.value;
}

std::string WebKitBrowser::ReportedUrl(const std::string& uri) const
{
    const std::string base = MemoryBase;
    if (uri.rfind(base, 0) != 0)
        return Utf8ToWindows1252(uri);
    // A link of a page shown from memory: "about:" and the href as written.
    if (!clickedUrl_.empty() && uri == clickedUrl_)
        return "about:" + Utf8ToWindows1252(clickedHref_);
    return "about:" + Utf8ToWindows1252(uri.substr(base.size()));
}

gboolean WebKitBrowser::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                       WebKitPolicyDecisionType type, gpointer data)
{
    auto* self = static_cast<WebKitBrowser*>(data);
    // A link for a new window opens nowhere else: it is a navigation of this
    // browser like any other.
    const bool newWindow = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION;
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && !newWindow)
        return FALSE;
    if (self->internalLoadPending_ && !newWindow) {
        self->internalLoadPending_ = false;
        webkit_policy_decision_use(decision);
        return TRUE;
    }
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const std::string url = self->ReportedUrl(uri ? uri : "");
    const bool own = self->ownNavigationPending_;
    self->ownNavigationPending_ = false;
    self->clickedHref_.clear();
    self->clickedUrl_.clear();

    bool cancel = false;
    if (self->beforeNavigate2_) {
        self->inDecision_ = true;
        try {
            self->beforeNavigate2_(url, cancel);
        } catch (const std::exception& failure) {
            g_warning("BeforeNavigate2: %s", failure.what());
        }
        self->inDecision_ = false;
    }
    if (cancel || newWindow) {
        webkit_policy_decision_ignore(decision);
        if (own && cancel)
            self->readyState_ = self->stateBeforeNavigate_;
    } else {
        webkit_policy_decision_use(decision);
    }
    if (self->queuedNavigate_) {
        self->queuedNavigate_ = false;
        self->StartNavigate(self->queuedAddress_);
    } else if (newWindow && !cancel && uri) {
        self->internalLoadPending_ = true;
        self->readyState_ = READYSTATE_LOADING;
        webkit_web_view_load_uri(self->view_, uri);
    }
    return TRUE;
}

void WebKitBrowser::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data)
{
    auto* self = static_cast<WebKitBrowser*>(data);
    switch (event) {
    case WEBKIT_LOAD_STARTED:
        self->ForgetMainResource();
        self->readyState_ = READYSTATE_LOADING;
        break;
    case WEBKIT_LOAD_REDIRECTED:
        break;
    case WEBKIT_LOAD_COMMITTED:
        self->swallowFinish_ = false;
        self->hasDocument_ = true;
        self->WatchMainResource();
        break;
    case WEBKIT_LOAD_FINISHED: {
        self->ForgetMainResource();
        if (self->swallowFinish_) {
            self->swallowFinish_ = false;
            if (!self->errorPagePending_ && !self->ownNavigationPending_ && !webkit_web_view_is_loading(view))
                self->readyState_ = std::max(self->readyState_, static_cast<int>(READYSTATE_INTERACTIVE));
            break;
        }
        self->errorPagePending_ = false;
        self->readyState_ = READYSTATE_COMPLETE;
        const char* uri = webkit_web_view_get_uri(view);
        self->RaiseDocumentComplete(uri ? uri : "");
        break;
    }
    }
}

gboolean WebKitBrowser::OnLoadFailed(WebKitWebView* view, WebKitLoadEvent, gchar* uri, GError* error, gpointer data)
{
    auto* self = static_cast<WebKitBrowser*>(data);
    // The failed load's own end is no completed document.
    self->swallowFinish_ = true;
    const bool abandoned = g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
                           g_error_matches(error, WEBKIT_POLICY_ERROR,
                                           WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE);
    if (abandoned)
        return TRUE;  // stopped, or replaced by another load: nothing to show
    // A page of our own in its place, under the failed address; its load
    // ends the navigation.
    self->errorPagePending_ = true;
    const std::string page = ErrorPage(uri ? uri : "", error && error->message ? error->message : "");
    webkit_web_view_load_alternate_html(view, page.c_str(), uri, uri);
    return TRUE;
}

void WebKitBrowser::WatchMainResource()
{
    ForgetMainResource();
    mainResource_ = webkit_web_view_get_main_resource(view_);
    if (!mainResource_)
        return;
    g_object_ref(mainResource_);
    g_signal_connect(mainResource_, "finished", G_CALLBACK(OnMainResourceFinished), this);
}

void WebKitBrowser::ForgetMainResource()
{
    if (!mainResource_)
        return;
    g_signal_handlers_disconnect_by_data(mainResource_, this);
    g_object_unref(mainResource_);
    mainResource_ = nullptr;
}

void WebKitBrowser::OnMainResourceFinished(WebKitWebResource*, gpointer data)
{
    // The main resource has arrived in full: the document is interactive.
    auto* self = static_cast<WebKitBrowser*>(data);
    self->readyState_ = std::max(self->readyState_, static_cast<int>(READYSTATE_INTERACTIVE));
}

void WebKitBrowser::OnFrameMessage(WebKitUserContentManager*, WebKitJavascriptResult* message, gpointer data)
{
    auto* self = static_cast<WebKitBrowser*>(data);
    char* text = jsc_value_to_string(webkit_javascript_result_get_js_value(message));
    const std::string uri = text ? text : "";
    g_free(text);
    self->RaiseDocumentComplete(uri);
}

void WebKitBrowser::RaiseDocumentComplete(const std::string& uri)
{
    const std::string url = uri.rfind(MemoryBase, 0) == 0 ? "about:blank" : Utf8ToWindows1252(uri);
    if (!documentComplete_)
        return;
    try {
        documentComplete_(url);
    } catch (const std::exception& failure) {
        g_warning("DocumentComplete: %s", failure.what());
    }
}

void WebKitBrowser::OnLinkMessage(WebKitUserContentManager*, WebKitJavascriptResult* message, gpointer data)
{
    auto* self = static_cast<WebKitBrowser*>(data);
    JSCValue* value = webkit_javascript_result_get_js_value(message);
    if (!jsc_value_is_array(value))
        return;
    JSCValue* href = jsc_value_object_get_property_at_index(value, 0);
    JSCValue* url = jsc_value_object_get_property_at_index(value, 1);
    char* hrefText = jsc_value_to_string(href);
    char* urlText = jsc_value_to_string(url);
    self->clickedHref_ = hrefText ? hrefText : "";
    self->clickedUrl_ = urlText ? urlText : "";
    g_free(hrefText);
    g_free(urlText);
    g_object_unref(href);
    g_object_unref(url);
}

}  // namespace velastrom::webkit
