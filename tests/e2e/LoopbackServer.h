#pragma once
// A tiny HTTP server on the loopback interface for the engine tests: serves
// fixed pages by path, answers 404 otherwise, and records what was asked.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

class LoopbackServer {
public:
    explicit LoopbackServer(std::map<std::string, std::string> pages) : pages_(std::move(pages)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        ::listen(fd_, 16);
        thread_ = std::thread([this] { Run(); });
    }
    ~LoopbackServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }

    int Port() const { return port_; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    int CountOf(const std::string& path) {
        int n = 0;
        for (const auto& r : Requests()) n += r == path;
        return n;
    }

private:
    void Run() {
        while (!stop_) {
            int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) {
                if (stop_) break;
                continue;
            }
            timeval tv{5, 0};
            ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            std::string request;
            char buf[4096];
            while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
                ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                request.append(buf, static_cast<size_t>(n));
            }
            std::string path;
            size_t sp1 = request.find(' ');
            size_t sp2 = sp1 == std::string::npos ? sp1 : request.find(' ', sp1 + 1);
            if (sp2 != std::string::npos) path = request.substr(sp1 + 1, sp2 - sp1 - 1);
            if (!path.empty()) {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(path);
            }
            auto it = pages_.find(path);
            std::string body = it != pages_.end() ? it->second : "<html><body>Not found</body></html>";
            std::string head = std::string("HTTP/1.1 ") + (it != pages_.end() ? "200 OK" : "404 Not Found") +
                               "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
                               "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
            std::string all = head + body;
            size_t off = 0;
            while (off < all.size()) {
                ssize_t n = ::send(c, all.data() + off, all.size() - off, MSG_NOSIGNAL);
                if (n <= 0) break;
                off += static_cast<size_t>(n);
            }
            ::shutdown(c, SHUT_WR);
            ::close(c);
        }
    }

    std::map<std::string, std::string> pages_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

} // namespace e2e
