#include "GtkTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <chrono>

namespace velastrom::testing {

bool OpenDisplay()
{
    static const bool open = gtk_init_check(nullptr, nullptr);
    return open;
}

bool PumpUntil(const std::function<bool()>& condition, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(1000);
    }
    return true;
}

void PumpFor(int milliseconds)
{
    PumpUntil([] { return false; }, milliseconds);
}

namespace {

// Listens on 127.0.0.1 and *port (0: any free port, stored back); -1 when
// the port cannot be had.
int Listen(int* port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(*port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0) {
        close(fd);
        return -1;
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return fd;
}

void SendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
}

}  // namespace

int LoopbackPort(const std::string& address, std::string* path)
{
    const std::string prefix = "http://127.0.0.1:";
    if (address.rfind(prefix, 0) != 0)
        return 0;
    std::size_t end = prefix.size();
    while (end < address.size() && std::isdigit(static_cast<unsigned char>(address[end])))
        ++end;
    if (path)
        *path = end < address.size() ? address.substr(end) : "/";
    return std::atoi(address.c_str() + prefix.size());
}

int RefusingPort()
{
    int port = 0;
    const int fd = Listen(&port);
    close(fd);  // bound once, now closed: connections are refused
    return port;
}

LoopbackServer::LoopbackServer(int port) : port_(port)
{
    listener_ = Listen(&port_);
    listening_ = listener_ >= 0;
    if (listening_)
        thread_ = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer()
{
    stopping_ = true;
    Release();
    if (!listening_)
        return;
    thread_.join();
    for (auto& client : clients_)
        client.join();
    close(listener_);
}

std::string LoopbackServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackServer::Add(const std::string& path, Page page)
{
    std::lock_guard lock(mutex_);
    pages_[path] = std::move(page);
}

void LoopbackServer::Release()
{
    std::lock_guard lock(mutex_);
    release_ = true;
    released_.notify_all();
}

std::vector<std::string> LoopbackServer::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void LoopbackServer::SetOnRequest(std::function<void(const std::string& path)> handler)
{
    std::lock_guard lock(mutex_);
    onRequest_ = std::move(handler);
}

void LoopbackServer::Serve()
{
    while (!stopping_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (poll(&waiting, 1, 50) <= 0)
            continue;
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0)
            continue;
        clients_.emplace_back([this, client] { Answer(client); });
    }
}

void LoopbackServer::Answer(int client)
{
    // Short reads, so a client that keeps its end open cannot hold the
    // server once it is stopping, nor for more than a few seconds.
    timeval limit{0, 100000};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    auto patient = [this, waits = 0]() mutable { return !stopping_ && ++waits < 50; };
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = recv(client, buffer, sizeof buffer, 0);
        if (got > 0)
            request.append(buffer, static_cast<std::size_t>(got));
        else if (got == 0 || errno != EAGAIN || !patient())
            break;
    }
    const std::size_t start = request.find(' ') + 1;
    const std::string path = request.substr(start, request.find(' ', start) - start);
    Page page;
    bool found = false;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(path);
        if (onRequest_)
            onRequest_(path);
        if (auto it = pages_.find(path); it != pages_.end()) {
            page = it->second;
            found = true;
        }
    }
    if (!found)
        page = Page{"text/html", "<html><body>Not found</body></html>", 404, 0};
    const std::string head = "HTTP/1.0 " + std::to_string(page.status) + (page.status == 200 ? " OK" : " Not Found") +
                             "\r\nContent-Type: " + page.contentType +
                             "\r\nContent-Length: " + std::to_string(page.body.size()) +
                             "\r\n" + page.cacheHeaders + "Connection: close\r\n\r\n";
    SendAll(client, head.data(), head.size());
    if (page.holdAfter > 0 && page.holdAfter < page.body.size()) {
        SendAll(client, page.body.data(), page.holdAfter);
        std::unique_lock lock(mutex_);
        released_.wait(lock, [this] { return release_; });
        lock.unlock();
        SendAll(client, page.body.data() + page.holdAfter, page.body.size() - page.holdAfter);
    } else {
        SendAll(client, page.body.data(), page.body.size());
    }
    shutdown(client, SHUT_WR);
    for (;;) {
        const ssize_t got = recv(client, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && (errno != EAGAIN || !patient())))
            break;
    }
    close(client);
}

std::string CommandOutput(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        pclose(pipe);
    }
    return out;
}

}  // namespace velastrom::testing
