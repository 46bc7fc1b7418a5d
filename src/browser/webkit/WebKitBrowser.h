// The embedded browser on Linux: a WebKitGTK web view behind IWebBrowser.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <memory>
#include <string>

#include "browser/Browser.h"

namespace velastrom::webkit {

class WebKitBrowser final : public IWebBrowser {
public:
    // A new view in the program's web context, whose website data lives in
    // memory for the run. The covered browser passes the visible one, so both
    // share one web process and that data.
    explicit WebKitBrowser(WebKitBrowser* related = nullptr);
    ~WebKitBrowser() override;
    WebKitBrowser(const WebKitBrowser&) = delete;
    WebKitBrowser& operator=(const WebKitBrowser&) = delete;

    // The view, for the window's layout.
    GtkWidget* Widget() const { return GTK_WIDGET(view_); }

    void Navigate(const std::string& address) override;
    void Stop() override;
    int ReadyState() override { return readyState_; }
    bool HasDocument() override { return hasDocument_; }
    void Save(TMemoryStream& stream) override;
    void Load(TMemoryStream& stream) override;
    std::shared_ptr<IAutomationObject> Automation() override;
    void Focus() override;
    // In one round trip to the web process.
    void SetBodyStyles(std::span<const TBodyStyleAssignment> rows) override;
    void SetOnBeforeNavigate2(BeforeNavigate2Event handler) override { beforeNavigate2_ = std::move(handler); }
    void SetOnDocumentComplete(DocumentCompleteEvent handler) override { documentComplete_ = std::move(handler); }

    // Runs a script in the top-level document and waits for its result,
    // processing pending messages meanwhile. The result as text (UTF-8);
    // a script that throws fails with the script's message.
    std::string RunScript(const std::string& utf8Script);

    // The address under which pages shown from memory live; a link of such
    // a page is reported as "about:" followed by its href.
    static constexpr const char* MemoryBase = "velastrom-memory://page/";

private:
    static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType, gpointer);
    static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent, gpointer);
    static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer);
    static void OnMainResourceFinished(WebKitWebResource*, gpointer);
    static void OnLinkMessage(WebKitUserContentManager*, WebKitJavascriptResult*, gpointer);
    static void OnFrameMessage(WebKitUserContentManager*, WebKitJavascriptResult*, gpointer);

    void StartNavigate(const std::string& address);
    void WatchMainResource();
    void ForgetMainResource();
    std::string ReportedUrl(const std::string& uri) const;
    void RaiseDocumentComplete(const std::string& uri);

    WebKitWebView* view_ = nullptr;
    WebKitUserContentManager* content_ = nullptr;
    WebKitWebResource* mainResource_ = nullptr;
    int readyState_ = READYSTATE_UNINITIALIZED;
    bool hasDocument_ = false;

    // Navigation bookkeeping.
    bool inDecision_ = false;            // BeforeNavigate2 is running
    bool queuedNavigate_ = false;        // Navigate called from inside it
    std::string queuedAddress_;
    bool ownNavigationPending_ = false;  // the next decision is for Navigate's load
    int stateBeforeNavigate_ = READYSTATE_UNINITIALIZED;
    bool internalLoadPending_ = false;   // the next decision is for a load of our own
    bool swallowFinish_ = false;         // the load under way failed: its end completes nothing
    bool errorPagePending_ = false;      // a page of our own replaces a failed one
    std::string clickedHref_;            // the href of the last link clicked, as written
    std::string clickedUrl_;             // and the address it resolved to

    BeforeNavigate2Event beforeNavigate2_;
    DocumentCompleteEvent documentComplete_;
};

}  // namespace velastrom::webkit
