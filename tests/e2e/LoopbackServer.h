#pragma once
// A tiny HTTP server on the loopback interface for the engine tests: serves
// fixed pages by path (or whatever a handler answers), 404 otherwise, one
// thread per connection, and records every request with its headers. A
// response can break off after some bytes, or hold there until the test
// lets it go on, as a slow or failing download would.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

struct HttpRequest {
    std::string path;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string Header(const std::string& name) const {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/html; charset=utf-8";
    std::vector<std::string> headers;  // more "Name: value" lines
    std::string body;
    // After this many bytes of the body: close the connection (breakOff)
    // or wait until Release() (hold) before sending the rest.
    size_t cut = std::string::npos;
    bool hold = false;
};

class LoopbackServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    explicit LoopbackServer(Handler handler) : handler_(std::move(handler)) { Listen(); }
    explicit LoopbackServer(std::map<std::string, std::string> pages)
        : handler_([pages = std::move(pages)](const HttpRequest& r) {
              HttpResponse response;
              auto it = pages.find(r.path);
              if (it == pages.end()) {
                  response.status = 404;
                  response.body = "<html><body>Not found</body></html>";
              } else {
                  response.body = it->second;
              }
              return response;
          }) {
        Listen();
    }
    ~LoopbackServer() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        held_.notify_all();
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        acceptor_.join();
        std::unique_lock<std::mutex> lock(mutex_);
        idle_.wait(lock, [this] { return active_ == 0; });
    }

    int Port() const { return port_; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    std::vector<HttpRequest> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    int CountOf(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        int n = 0;
        for (const auto& r : requests_) n += r.path == path;
        return n;
    }
    // Lets every held response go on.
    void Release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            released_ = true;
        }
        held_.notify_all();
    }
    // Responses are holding their rest now.
    int Holding() {
        std::lock_guard<std::mutex> lock(mutex_);
        return holding_;
    }

private:
    void Listen() {
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
        ::listen(fd_, 64);
        acceptor_ = std::thread([this] { Accept(); });
    }

    void Accept() {
        for (;;) {
            int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_) {
                if (c >= 0) ::close(c);
                return;
            }
            if (c < 0) continue;
            ++active_;
            std::thread([this, c] { Serve(c); }).detach();
        }
    }

    static bool Send(int c, const std::string& data) {
        size_t off = 0;
        while (off < data.size()) {
            ssize_t n = ::send(c, data.data() + off, data.size() - off, MSG_NOSIGNAL);
            if (n <= 0) return false;
            off += static_cast<size_t>(n);
        }
        return true;
    }

    void Serve(int c) {
        timeval tv{10, 0};
        ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        std::string raw;
        char buf[4096];
        while (raw.find("\r\n\r\n") == std::string::npos && raw.size() < 65536) {
            ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0) break;
            raw.append(buf, static_cast<size_t>(n));
        }
        HttpRequest request;
        size_t sp1 = raw.find(' ');
        size_t sp2 = sp1 == std::string::npos ? sp1 : raw.find(' ', sp1 + 1);
        if (sp2 != std::string::npos) request.path = raw.substr(sp1 + 1, sp2 - sp1 - 1);
        for (size_t line = raw.find("\r\n"); line != std::string::npos && line + 2 < raw.size();) {
            size_t next = raw.find("\r\n", line + 2);
            if (next == std::string::npos) break;
            std::string h = raw.substr(line + 2, next - line - 2);
            size_t colon = h.find(':');
            if (colon != std::string::npos) {
                std::string name = h.substr(0, colon);
                for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
                size_t v = h.find_first_not_of(' ', colon + 1);
                request.headers[name] = v == std::string::npos ? "" : h.substr(v);
            }
            line = next;
        }
        if (!request.path.empty()) {
            HttpResponse r = handler_(request);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(request);
            }
            std::string head = "HTTP/1.1 " + std::to_string(r.status) + (r.status < 400 ? " OK" : " Error") +
                               "\r\nContent-Type: " + r.contentType + "\r\nCache-Control: no-store\r\n" +
                               "Content-Length: " + std::to_string(r.body.size()) + "\r\nConnection: close\r\n";
            for (const auto& h : r.headers) head += h + "\r\n";
            head += "\r\n";
            size_t cut = std::min(r.cut, r.body.size());
            bool ok = Send(c, head + r.body.substr(0, cut));
            if (ok && cut < r.body.size()) {
                if (r.hold) {
                    std::unique_lock<std::mutex> lock(mutex_);
                    ++holding_;
                    held_.wait(lock, [this] { return released_ || stop_; });
                    --holding_;
                    ok = !stop_;
                } else {
                    ok = false;  // broken off
                }
                if (ok) Send(c, r.body.substr(cut));
            }
        }
        ::shutdown(c, SHUT_WR);
        // Let the client read to the end before the socket goes.
        timeval drain{0, 200000};
        ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &drain, sizeof drain);
        while (::recv(c, buf, sizeof buf, 0) > 0) {
        }
        ::close(c);
        std::lock_guard<std::mutex> lock(mutex_);
        if (--active_ == 0) idle_.notify_all();
    }

    Handler handler_;
    int fd_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    std::mutex mutex_;
    std::condition_variable held_, idle_;
    bool stop_ = false;
    bool released_ = false;
    int active_ = 0;
    int holding_ = 0;
    std::vector<HttpRequest> requests_;
};

} // namespace e2e
