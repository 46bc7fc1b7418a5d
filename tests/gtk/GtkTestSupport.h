// What the tests of the real window framework and WebKit share: a display,
// a small HTTP server on 127.0.0.1, and waits that end at a deadline.
#pragma once

#include <gtk/gtk.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/LinuxPlatform.h"

namespace velastrom::testing {

// Opens the display once; false when there is none.
bool OpenDisplay();

// Processes the GUI thread's events until the condition holds; false when
// the deadline passes first.
bool PumpUntil(const std::function<bool()>& condition, int timeoutMs = 15000);
// Processes events for a while (for things that must NOT happen).
void PumpFor(int milliseconds);

// An HTTP/1.0 server on 127.0.0.1 and an ephemeral port, in a thread.
class LoopbackServer {
public:
    struct Page {
        std::string contentType = "text/html";
        std::string body;
        int status = 200;
        // When set, the body is sent in two parts: the first this many bytes,
        // the rest once Release() is called.
        std::size_t holdAfter = 0;
        // The response's caching headers, each line ending in CR LF.
        std::string cacheHeaders = "Cache-Control: no-store\r\n";
    };

    // On an ephemeral port, or on the port given; Listening() tells whether
    // that port could be had.
    explicit LoopbackServer(int port = 0);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return port_; }
    bool Listening() const { return listening_; }
    std::string Url(const std::string& path) const;
    void Add(const std::string& path, Page page);
    // Lets held responses send their rest.
    void Release();
    // The paths requested so far.
    std::vector<std::string> Requests() const;
    // Called on the server's thread with each request's path as it arrives.
    void SetOnRequest(std::function<void(const std::string& path)> handler);

private:
    void Serve();
    void Answer(int client);

    int listener_ = -1;
    int port_ = 0;
    bool listening_ = false;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool release_ = false;
    std::map<std::string, Page> pages_;
    std::vector<std::string> requests_;
    std::function<void(const std::string& path)> onRequest_;
    std::vector<std::thread> clients_;
    std::thread thread_;
};

// The port of an http://127.0.0.1:<port>/... address, and its path ("/"
// when it has none); 0 for any other address.
int LoopbackPort(const std::string& address, std::string* path = nullptr);

// A port on 127.0.0.1 where nothing listens.
int RefusingPort();

// What a command run by the shell prints on its standard output.
std::string CommandOutput(const std::string& command);

// The Linux platform with the Program Files folder moved into a sandbox;
// every other service is the real one.
class SandboxPlatform : public LinuxPlatform {
public:
    explicit SandboxPlatform(std::string programFiles) : programFiles_(std::move(programFiles)) {}
    TRegistryValue QueryLocalMachineValue(const std::string& key, const std::string& name) override
    {
        TRegistryValue value = LinuxPlatform::QueryLocalMachineValue(key, name);
        if (value.status == TRegistryValue::Status::Ok)
            value.data = programFiles_ + '\0';
        return value;
    }

private:
    std::string programFiles_;
};

}  // namespace velastrom::testing
