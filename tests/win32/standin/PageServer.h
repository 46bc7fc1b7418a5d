// A small HTTP/1.0 server on 127.0.0.1 for the tests: fixed pages by path,
// a count of requests by path, and on request a server that takes
// connections and never answers. And the whole of a file, read.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velastrom::win32::test {

class PageServer {
public:
    // On the given port, or on a free one for 0; Listening() tells whether
    // the port could be had.
    explicit PageServer(unsigned short port = 0)
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 8) != 0) {
            closesocket(listener_);
            listener_ = INVALID_SOCKET;
            WSACleanup();
            return;
        }
        int length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~PageServer() { Close(); }
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    // Stops answering: later connections are refused.
    void Close()
    {
        if (listener_ == INVALID_SOCKET)
            return;
        stopping_ = true;
        closesocket(listener_);
        listener_ = INVALID_SOCKET;
        thread_.join();
        for (SOCKET client : held_)
            closesocket(client);
        held_.clear();
        WSACleanup();
    }

    // From now on connections are taken and never answered.
    void Hang() { hang_ = true; }

    bool Listening() const { return listener_ != INVALID_SOCKET; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    void Put(const std::string& path, const std::string& body)
    {
        std::lock_guard<std::mutex> guard(lock_);
        pages_[path] = body;
    }
    int Requests(const std::string& path)
    {
        std::lock_guard<std::mutex> guard(lock_);
        return requests_[path];
    }

private:
    void Serve()
    {
        while (!stopping_) {
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(listener_, &ready);
            timeval wait{0, 100000};
            if (select(0, &ready, nullptr, nullptr, &wait) <= 0)
                continue;
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET)
                continue;
            if (hang_) {
                held_.push_back(client);
                continue;
            }
            DWORD timeout = 5000;
            setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const int got = recv(client, buffer, sizeof buffer, 0);
                if (got <= 0)
                    break;
                request.append(buffer, static_cast<std::size_t>(got));
            }
            const std::size_t start = request.find(' ') + 1;
            const std::string path = request.substr(start, request.find(' ', start) - start);
            std::string body;
            bool found = false;
            {
                std::lock_guard<std::mutex> guard(lock_);
                ++requests_[path];
                const auto page = pages_.find(path);
                if (page != pages_.end()) {
                    found = true;
                    body = page->second;
                }
            }
            const std::string reply = std::string(found ? "HTTP/1.0 200 OK" : "HTTP/1.0 404 Not Found") +
                                      "\r\nContent-Type: text/html\r\nContent-Length: " +
                                      std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
            send(client, reply.data(), static_cast<int>(reply.size()), 0);
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }

    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> hang_{false};
    std::vector<SOCKET> held_;
    std::thread thread_;
    std::mutex lock_;
    std::map<std::string, std::string> pages_;
    std::map<std::string, int> requests_;
};

// A whole file's bytes; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

}  // namespace velastrom::win32::test
