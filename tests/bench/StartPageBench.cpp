// Figures for the start page, printed, never asserted.
//
//   velastrom_startpage_bench mark
//       The marking on a page of 100 000 product lines with 1 000 installed
//       codes (the Linux platform's comparison), and the snapshot's line
//       split and join on the same page.
//   velastrom_startpage_bench startup <folder> <runs>
//       Serves the folder (the demo's start page) on 127.0.0.1 and measures,
//       for three sides, the time from process start to the start page shown
//       and the memory of the process tree then: the dashboard (fetch,
//       snapshot, marking, home display), a bare WebKitGTK window showing the
//       page, and Chromium's app window on a fresh profile. "Shown" is the
//       same moment for all three: a script at the end of the page, run in
//       the view that shows it, reports to the server. No response may be
//       cached, so every run fetches the page. Needs a display.
//   velastrom_startpage_bench dashboard|bare <url> [trace]
//       One side of "startup", running until ended; the dashboard with
//       "trace" prints each change of its browsers' states (ms) on the error
//       stream.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "GtkTestSupport.h"
#include "app/PVelastrom.h"
#include "app/gtk/GtkDashboardView.h"
#include "app/gtk/GtkApplication.h"
#include "browser/webkit/WebKitBrowser.h"
#include "platform/linux/LinuxPlatform.h"
#include "products/Register.h"
#include "startpage/StartPage.h"

namespace {

using namespace velastrom;
using Clock = std::chrono::steady_clock;

long long MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Figures {
    std::vector<double> values;
    double Min() const { return *std::min_element(values.begin(), values.end()); }
    double Max() const { return *std::max_element(values.begin(), values.end()); }
    double Median() const
    {
        auto sorted = values;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

// --- the marking ---------------------------------------------------------------------

int Mark()
{
    constexpr int Lines = 100000;
    constexpr int Installed = 1000;
    constexpr int Runs = 15;
    LinuxPlatform platform;
    TStringList page;
    page.Add("<!--all  all  the whole page is scanned: four digits cannot reach line 99 999-->");
    page.Add(std::string("<!-- ") + ReadyMarker + " -->");
    TStringList codes(InstalledCodesCompare(platform));
    char code[32];
    for (int i = 2; i < Lines; ++i) {
        std::snprintf(code, sizeof code, "TR-%013d", i);
        page.Add(std::string("<div class=\"prodotto\"><a href=\"") + code + "|http://127.0.0.1:47800/prodotti/p" +
                 std::to_string(i) + ".htm\">Prodotto " + std::to_string(i) +
                 "</a> <div id=\"imgnav\"></div></div>");
        if (i % ((Lines - 2) / Installed) == 0 && static_cast<int>(codes.Count()) < Installed)
            codes.Add(code);
    }
    Figures mark, split, join;
    std::size_t marked = 0;
    const std::string text = page.Text();
    for (int run = 0; run < Runs; ++run) {
        TStringList lines = page;
        const auto start = Clock::now();
        MarkInstalledLines(lines, codes);
        mark.values.push_back(Ms(Clock::now() - start));
        marked = 0;
        for (const auto& line : lines.Items())
            marked += line.find("<div id=\"imgrun\">") != std::string::npos;

        TMemoryStream stream;
        stream.Write(text.data(), text.size());
        stream.Seek(0);
        TStringList loaded;
        const auto splitStart = Clock::now();
        loaded.LoadFromStream(stream);
        split.values.push_back(Ms(Clock::now() - splitStart));
        const auto joinStart = Clock::now();
        stream.Seek(0);
        loaded.SaveToStream(stream);
        join.values.push_back(Ms(Clock::now() - joinStart));
    }
    std::printf("page: %d lines, %zu bytes; installed codes: %zu; lines marked: %zu\n", Lines, text.size(),
                codes.Count(), marked);
    std::printf("%-34s min %8.3f ms  median %8.3f ms  max %8.3f ms  (%d runs)\n", "MarkInstalledProducts", mark.Min(),
                mark.Median(), mark.Max(), Runs);
    std::printf("%-34s min %8.3f ms  median %8.3f ms  max %8.3f ms\n", "snapshot split (LoadFromStream)",
                split.Min(), split.Median(), split.Max());
    std::printf("%-34s min %8.3f ms  median %8.3f ms  max %8.3f ms\n", "snapshot join (SaveToStream)", join.Min(),
                join.Median(), join.Max());
    return marked == static_cast<std::size_t>(Installed) ? 0 : 1;
}

// --- the two sides of the start-up figures ---------------------------------------------

// The dashboard as the program runs it, with a watch on the visible browser.
int Dashboard(const std::string& url, bool trace)
{
    // With "trace", the steps before the first activation too.
    if (trace)
        std::fprintf(stderr, "%lld entry\n", MonotonicNs() / 1000000);
    gtk::GtkApplication app;
    LinuxPlatform platform;
    platform.MaskFloatingPointExceptions();
    app.Initialize();
    app.SetTitle("");
    TVelastromSettings settings;
    settings.StartPageFetchUrl = url;
    if (trace)
        std::fprintf(stderr, "%lld toolkit initialised\n", MonotonicNs() / 1000000);
    TFVelastrom form(app, platform, settings);
    if (trace)
        std::fprintf(stderr, "%lld form created\n", MonotonicNs() / 1000000);
    auto& browser = dynamic_cast<webkit::WebKitBrowser&>(form.View().WebBrowser());
    auto& root = dynamic_cast<webkit::WebKitBrowser&>(form.View().WebBrowserRoot());
    struct Watch {
        TFVelastrom* form;
        webkit::WebKitBrowser* browser;
        webkit::WebKitBrowser* root;
        bool trace;
        std::string last;
    } watch{&form, &browser, &root, trace, {}};
    g_timeout_add(
        1,
        [](gpointer data) -> gboolean {
            auto* w = static_cast<Watch*>(data);
            // Where the first activation stands, on the error stream.
            const char* rootUri = webkit_web_view_get_uri(WEBKIT_WEB_VIEW(w->root->Widget()));
            const char* shownUri = webkit_web_view_get_uri(WEBKIT_WEB_VIEW(w->browser->Widget()));
            const std::string state = std::string(w->form->Started() ? "started" : "waiting") + " visible " +
                                      (shownUri ? shownUri : "-") + " " + std::to_string(w->browser->ReadyState()) +
                                      " covered " + (rootUri ? rootUri : "-") + " " +
                                      std::to_string(w->root->ReadyState()) +
                                      (w->form->PageStream() ? " snapshot" : "");
            if (w->trace && state != w->last) {
                std::fprintf(stderr, "%lld %s\n", MonotonicNs() / 1000000, state.c_str());
                w->last = state;
            }
            return w->trace ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
        },
        &watch);
    app.Run();
    return 0;
}

// A bare window with one web view at the dashboard's size.
int Bare(const std::string& url)
{
    gtk_init(nullptr, nullptr);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 1024, 736);
    GtkWidget* view = webkit_web_view_new();
    gtk_container_add(GTK_CONTAINER(window), view);
    gtk_widget_show_all(window);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), url.c_str());
    gtk_main();
    return 0;
}

// --- the runner ----------------------------------------------------------------------------

std::map<int, int> ParentsOfAll()
{
    std::map<int, int> parents;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        const int pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        int parent = 0;
        rest >> state >> parent;
        parents[pid] = parent;
    }
    if (proc)
        closedir(proc);
    return parents;
}

std::vector<int> Tree(int root)
{
    const auto parents = ParentsOfAll();
    std::vector<int> tree{root};
    for (std::size_t i = 0; i < tree.size(); ++i)
        for (const auto& [pid, parent] : parents)
            if (parent == tree[i])
                tree.push_back(pid);
    return tree;
}

long KiB(int pid, const char* field)
{
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string name;
    long value = 0;
    while (rollup >> name) {
        if (name == field) {
            rollup >> value;
            return value;
        }
        rollup.ignore(1 << 16, '\n');
    }
    return 0;
}

struct Sample {
    double ms = 0;
    long pssKiB = 0;
    long rssKiB = 0;
    std::size_t processes = 0;
};

// The folder served on 127.0.0.1, nothing cacheable. The start page gets a
// script at its end that reports, once it runs, where the page lives: an
// http: address in a browser that fetched it, the dashboard's own scheme
// where the dashboard shows it from memory.
class BenchServer {
public:
    explicit BenchServer(const std::filesystem::path& folder)
    {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream file(entry.path(), std::ios::binary);
            std::string body((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            const std::string name = entry.path().filename().string();
            const std::string path = "/" + std::filesystem::relative(entry.path(), folder).generic_string();
            std::string type = "application/octet-stream";
            if (name.ends_with(".htm") || name.ends_with(".html"))
                type = "text/html";
            else if (name.ends_with(".png"))
                type = "image/png";
            else if (name.ends_with(".css"))
                type = "text/css";
            if (path == StartPath) {
                const std::string report = "<script>new Image().src = 'http://127.0.0.1:" +
                                           std::to_string(server_.Port()) +
                                           "/shown?' + encodeURIComponent(location.protocol);</script>";
                std::size_t end = body.rfind("</body>");
                if (end == std::string::npos)
                    end = body.rfind("</BODY>");
                body.insert(end == std::string::npos ? body.size() : end, report);
            }
            server_.Add(path, {type, body});
        }
        server_.SetOnRequest([this](const std::string& path) {
            if (path.rfind("/shown?", 0) != 0)
                return;
            std::lock_guard lock(mutex_);
            reports_.emplace_back(path.substr(7), MonotonicNs());
        });
    }

    std::string StartUrl() const { return server_.Url(StartPath); }

    void Forget()
    {
        std::lock_guard lock(mutex_);
        reports_.clear();
    }

    // When a view whose page lives under the protocol reported; 0 while none has.
    long long ReportedAt(const std::string& protocol)
    {
        std::lock_guard lock(mutex_);
        for (const auto& [reported, at] : reports_)
            if (reported == protocol)
                return at;
        return 0;
    }

private:
    static constexpr const char* StartPath = "/TavRolendiVelastromRootOnline.htm";
    testing::LoopbackServer server_;
    std::mutex mutex_;
    std::vector<std::pair<std::string, long long>> reports_;
};

// The command line of a side: this program for the dashboard and the bare
// window; Chromium's app window on a profile of its own.
std::vector<std::string> SideCommand(const char* self, const std::string& side, const std::string& url,
                                     const std::string& profile)
{
    if (side != "chromium")
        return {self, side, url};
    std::vector<std::string> command = {"chromium",
                                        "--app=" + url,
                                        "--user-data-dir=" + profile,
                                        "--disable-gpu",
                                        "--no-first-run",
                                        "--disable-background-networking",
                                        "--disable-component-update",
                                        "--disable-sync",
                                        "--window-size=1024,736"};
    if (geteuid() == 0)
        command.push_back("--no-sandbox");
    return command;
}

bool RunOnce(const char* self, const std::string& side, BenchServer& server, Sample& sample)
{
    char profile[] = "/tmp/velastrom-bench-profile-XXXXXX";
    if (!mkdtemp(profile))
        return false;
    const std::vector<std::string> command = SideCommand(self, side, server.StartUrl(), profile);
    server.Forget();
    const long long start = MonotonicNs();
    const pid_t child = fork();
    if (child == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        std::vector<char*> argv;
        for (const auto& word : command)
            argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    // The view that shows the page: the dashboard's visible browser shows it
    // from memory; its covered browser, which reports http:, does not count.
    const std::string shownIn = side == "dashboard" ? "velastrom-memory%3A" : "http%3A";
    long long at = 0;
    const long long deadline = start + 60LL * 1000000000LL;
    while ((at = server.ReportedAt(shownIn)) == 0 && MonotonicNs() < deadline)
        usleep(1000);
    if (at != 0) {
        sample.ms = static_cast<double>(at - start) / 1e6;
        usleep(300000);  // let the page settle before the memory is read
        const auto tree = Tree(child);
        sample.processes = tree.size();
        sample.pssKiB = sample.rssKiB = 0;
        for (int pid : tree) {
            sample.pssKiB += KiB(pid, "Pss:");
            sample.rssKiB += KiB(pid, "Rss:");
        }
    }
    for (int pid : Tree(child))
        kill(pid, SIGKILL);
    waitpid(child, nullptr, 0);
    std::error_code ignored;
    std::filesystem::remove_all(profile, ignored);
    return at != 0;
}

int Startup(const char* self, const std::string& folder, int runs)
{
    gtk_init(nullptr, nullptr);  // only to fail early without a display
    BenchServer server(folder);
    const std::vector<std::string> sides = {"bare", "dashboard", "chromium"};
    std::map<std::string, std::vector<Sample>> samples;
    for (int run = 0; run < runs; ++run) {
        // Rotate the order so no side always comes first or last.
        for (std::size_t i = 0; i < sides.size(); ++i) {
            const std::string& side = sides[(i + static_cast<std::size_t>(run)) % sides.size()];
            Sample sample;
            if (!RunOnce(self, side, server, sample)) {
                std::printf("%s: the page was not shown within 60 s\n", side.c_str());
                return 1;
            }
            std::printf("run %d %-9s %8.1f ms  PSS %7.1f MiB  RSS %7.1f MiB  (%zu processes)\n", run + 1,
                        side.c_str(), sample.ms, sample.pssKiB / 1024.0, sample.rssKiB / 1024.0, sample.processes);
            std::fflush(stdout);
            samples[side].push_back(sample);
        }
    }
    auto median = [&](const std::string& side, auto field) {
        std::vector<double> values;
        for (const Sample& s : samples[side])
            values.push_back(field(s));
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    auto ms = [](const Sample& s) { return s.ms; };
    auto pss = [](const Sample& s) { return s.pssKiB / 1024.0; };
    std::printf("median start to page shown (%d runs): bare %.1f ms, dashboard %.1f ms, chromium %.1f ms\n", runs,
                median("bare", ms), median("dashboard", ms), median("chromium", ms));
    std::printf("  dashboard / bare %.2f, dashboard / chromium %.2f\n", median("dashboard", ms) / median("bare", ms),
                median("dashboard", ms) / median("chromium", ms));
    std::printf("median process-tree PSS: bare %.1f MiB, dashboard %.1f MiB, chromium %.1f MiB\n",
                median("bare", pss), median("dashboard", pss), median("chromium", pss));
    std::printf("  dashboard / bare %.2f, dashboard / chromium %.2f\n", median("dashboard", pss) / median("bare", pss),
                median("dashboard", pss) / median("chromium", pss));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "mark";
    if (mode == "mark")
        return Mark();
    if (mode == "dashboard" && argc > 2)
        return Dashboard(argv[2], argc > 3 && std::string(argv[3]) == "trace");
    if (mode == "bare" && argc > 2)
        return Bare(argv[2]);
    if (mode == "startup" && argc > 3)
        return Startup("/proc/self/exe", argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "usage: %s mark | startup <folder> <runs> | dashboard <url> [trace] | bare <url>\n", argv[0]);
    return 2;
}
