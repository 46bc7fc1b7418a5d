// Figures for the start page, printed, never asserted.
//
//   velastrom_startpage_bench mark
//       The marking on a page of 100 000 product lines with 1 000 installed
//       codes (the Linux platform's comparison), and the snapshot's line
//       split and join on the same page.
//   velastrom_startpage_bench startup <url> <runs>
//       Time from process start to the start page shown, and the memory of
//       the process tree then: the dashboard (fetch, snapshot, marking, home
//       display) beside a bare WebKitGTK window showing the same address.
//       Needs a display.
//   velastrom_startpage_bench dashboard|bare <url> [trace]
//       One side of "startup": prints "shown <monotonic ns>" once the page is
//       shown and keeps running until ended; the dashboard with "trace" also
//       prints each change of its browsers' states (ms) on the error stream.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/PVelastrom.h"
#include "app/gtk/DashboardWindow.h"
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

void Shown()
{
    std::printf("shown %lld\n", MonotonicNs());
    std::fflush(stdout);
}

// The dashboard as the program runs it, with a watch on the visible browser.
int Dashboard(const std::string& url, bool trace)
{
    // With "trace", the steps before the first activation too.
    if (trace)
        std::fprintf(stderr, "%lld entry\n", MonotonicNs() / 1000000);
    gtk::Application app;
    LinuxPlatform platform;
    platform.MaskFloatingPointExceptions();
    app.Initialize();
    app.SetTitle("");
    SetStartPageFetchUrl(url);
    if (trace)
        std::fprintf(stderr, "%lld toolkit initialised\n", MonotonicNs() / 1000000);
    TFVelastrom form(app, platform);
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
            const char* uri = webkit_web_view_get_uri(WEBKIT_WEB_VIEW(w->browser->Widget()));
            if (uri && std::strncmp(uri, "velastrom-memory:", 17) == 0 &&
                w->browser->ReadyState() == READYSTATE_COMPLETE) {
                Shown();
                return G_SOURCE_REMOVE;
            }
            return G_SOURCE_CONTINUE;
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
    g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer) {
                         if (event == WEBKIT_LOAD_FINISHED)
                             Shown();
                     }),
                     nullptr);
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

bool RunOnce(const char* self, const std::string& side, const std::string& url, Sample& sample)
{
    int out[2];
    if (pipe(out) != 0)
        return false;
    const long long start = MonotonicNs();
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(self, self, side.c_str(), url.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    FILE* reading = fdopen(out[0], "r");
    char line[128] = {};
    bool shown = false;
    // Each side gets 60 s; a side that never shows is reported, not waited for.
    alarm(60);
    while (std::fgets(line, sizeof line, reading)) {
        long long at = 0;
        if (std::sscanf(line, "shown %lld", &at) == 1) {
            sample.ms = static_cast<double>(at - start) / 1e6;
            shown = true;
            break;
        }
    }
    alarm(0);
    if (shown) {
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
    fclose(reading);
    return shown;
}

int Startup(const char* self, const std::string& url, int runs)
{
    // Interrupts the read of a side that hangs: without SA_RESTART, so the
    // read returns instead of resuming.
    struct sigaction alarmAction {};
    alarmAction.sa_handler = [](int) {};
    sigemptyset(&alarmAction.sa_mask);
    alarmAction.sa_flags = 0;
    sigaction(SIGALRM, &alarmAction, nullptr);
    std::map<std::string, std::vector<Sample>> samples;
    for (int run = 0; run < runs; ++run) {
        // Alternate the order so neither side always finds the caches warm.
        const std::vector<std::string> order =
            run % 2 == 0 ? std::vector<std::string>{"bare", "dashboard"} : std::vector<std::string>{"dashboard", "bare"};
        for (const auto& side : order) {
            Sample sample;
            if (!RunOnce(self, side, url, sample)) {
                std::printf("%s: the page was not shown within 60 s\n", side.c_str());
                return 1;
            }
            std::printf("run %d %-9s %8.1f ms  PSS %7.1f MiB  RSS %7.1f MiB  (%zu processes)\n", run + 1,
                        side.c_str(), sample.ms, sample.pssKiB / 1024.0, sample.rssKiB / 1024.0, sample.processes);
            samples[side].push_back(sample);
        }
    }
    auto median = [](std::vector<Sample> v, auto field) {
        std::sort(v.begin(), v.end(), [&](const Sample& a, const Sample& b) { return field(a) < field(b); });
        return field(v[v.size() / 2]);
    };
    const double bareMs = median(samples["bare"], [](const Sample& s) { return s.ms; });
    const double dashMs = median(samples["dashboard"], [](const Sample& s) { return s.ms; });
    const double barePss = median(samples["bare"], [](const Sample& s) { return static_cast<double>(s.pssKiB); });
    const double dashPss = median(samples["dashboard"], [](const Sample& s) { return static_cast<double>(s.pssKiB); });
    std::printf("median start to page shown: bare %.1f ms, dashboard %.1f ms, ratio %.2f\n", bareMs, dashMs,
                dashMs / bareMs);
    std::printf("median process-tree PSS:    bare %.1f MiB, dashboard %.1f MiB, ratio %.2f\n", barePss / 1024.0,
                dashPss / 1024.0, dashPss / barePss);
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
    std::fprintf(stderr, "usage: %s mark | startup <url> <runs> | dashboard <url> | bare <url>\n", argv[0]);
    return 2;
}
