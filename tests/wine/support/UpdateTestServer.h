// A loopback HTTP server for the update-check integration tests. It runs on a
// thread of the test program, listens on 127.0.0.1 only, records every
// request head it receives and answers each connection as the test says:
// with a prepared answer, with silence (the connection is held open and never
// answered), or by closing at once. Every wait inside it is bounded, and the
// destructor stops the thread and closes every socket it opened.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kx::wine {

class UpdateTestServer {
public:
    enum class Mode { Answer, Silent, CloseAtOnce };

    // port 0: any free port of the loopback interface.
    explicit UpdateTestServer(std::uint16_t port = 0) {
        WSADATA data;
        started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
        listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (listener_ == INVALID_SOCKET) return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            ::listen(listener_, 8) != 0) {
            ::closesocket(listener_);
            listener_ = INVALID_SOCKET;
            return;
        }
        int length = sizeof(address);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }

    ~UpdateTestServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (SOCKET held : held_) ::closesocket(held);
        if (listener_ != INVALID_SOCKET) ::closesocket(listener_);
        if (started_) ::WSACleanup();
    }

    UpdateTestServer(const UpdateTestServer&) = delete;
    UpdateTestServer& operator=(const UpdateTestServer&) = delete;

    bool Listening() const { return listener_ != INVALID_SOCKET; }
    std::uint16_t Port() const { return port_; }

    // How the following connections are answered.
    void Reply(Mode mode, std::string raw = {}) {
        std::lock_guard<std::mutex> lock(mutex_);
        mode_ = mode;
        raw_ = std::move(raw);
    }
    void ReplyWith(int status, const std::string& reason, const std::string& body,
                   const std::string& extraHeaders = {}) {
        Reply(Mode::Answer, Answer(status, reason, body, extraHeaders));
    }

    // The request heads received so far (request line and headers), in order.
    std::vector<std::string> Requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    void ClearRequests() {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.clear();
    }

    static std::string Answer(int status, const std::string& reason, const std::string& body,
                              const std::string& extraHeaders = {}) {
        return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Type: text/html\r\n" +
               "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" + extraHeaders +
               "\r\n" + body;
    }

    // A loopback port on which nothing listens: bound once, then released.
    static std::uint16_t UnusedPort() {
        UpdateTestServer probe;
        return probe.Port();
    }

private:
    void Serve() {
        while (!stop_) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(listener_, &readable);
            timeval wait{0, 50000};
            if (::select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
            SOCKET client = ::accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) continue;
            const std::string head = ReadHead(client);
            Mode mode;
            std::string raw;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!head.empty()) requests_.push_back(head);
                mode = mode_;
                raw = raw_;
            }
            if (mode == Mode::Silent) {
                held_.push_back(client);  // closed when the server stops
                continue;
            }
            if (mode == Mode::Answer) SendAll(client, raw);
            ::shutdown(client, SD_SEND);
            ::closesocket(client);
        }
    }

    // Reads up to the blank line that ends the request head, for at most five seconds.
    std::string ReadHead(SOCKET client) {
        std::string head;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 && !stop_ &&
               std::chrono::steady_clock::now() < deadline) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(client, &readable);
            timeval wait{0, 50000};
            if (::select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
            char buffer[4096];
            const int got = ::recv(client, buffer, sizeof(buffer), 0);
            if (got <= 0) break;
            head.append(buffer, static_cast<std::size_t>(got));
        }
        const auto end = head.find("\r\n\r\n");
        return end == std::string::npos ? head : head.substr(0, end + 2);
    }

    static void SendAll(SOCKET client, const std::string& raw) {
        std::size_t sent = 0;
        while (sent < raw.size()) {
            const int n = ::send(client, raw.data() + sent, static_cast<int>(raw.size() - sent), 0);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }

    bool started_ = false;
    SOCKET listener_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<SOCKET> held_;
    mutable std::mutex mutex_;
    Mode mode_ = Mode::Answer;
    std::string raw_ = Answer(200, "OK", "VELMOR|0");
    std::vector<std::string> requests_;
};

}  // namespace kx::wine
