#pragma once
// An HTTPS server on the loopback interface whose certificate no one can
// trust: made by openssl when the server starts, signed by itself, for a
// name that is not the server's. It counts TLS handshakes and the HTTP
// requests that got through one, and answers each with the same page.
#include "common/TempFolder.h"

#include <gio/gio.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

namespace e2e {

class TlsLoopbackServer {
public:
    explicit TlsLoopbackServer(std::string page) : page_(std::move(page)) {
        const std::string cert = dir_ + "cert.pem", key = dir_ + "key.pem";
        const std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                                    " -days 2 -subj /CN=qel-test.invalid -keyout '" + key + "' -out '" + cert +
                                    "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            problem_ = "openssl could not make a certificate";
            return;
        }
        GError* error = nullptr;
        certificate_ = g_tls_certificate_new_from_files(cert.c_str(), key.c_str(), &error);
        if (!certificate_) {
            problem_ = error->message;
            g_error_free(error);
            return;
        }
        socket_ = g_socket_new(G_SOCKET_FAMILY_IPV4, G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_TCP, nullptr);
        GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
        GSocketAddress* address = g_inet_socket_address_new(loopback, 0);
        bool ok = g_socket_bind(socket_, address, TRUE, nullptr) && g_socket_listen(socket_, nullptr);
        g_object_unref(address);
        g_object_unref(loopback);
        if (!ok) {
            problem_ = "no loopback port";
            return;
        }
        GSocketAddress* bound = g_socket_get_local_address(socket_, nullptr);
        port_ = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound));
        g_object_unref(bound);
        cancel_ = g_cancellable_new();
        thread_ = std::thread([this] { Run(); });
    }
    ~TlsLoopbackServer() {
        if (cancel_) g_cancellable_cancel(cancel_);
        if (thread_.joinable()) thread_.join();
        if (socket_) g_object_unref(socket_);
        if (cancel_) g_object_unref(cancel_);
        if (certificate_) g_object_unref(certificate_);
    }

    bool Ready() const { return problem_.empty(); }
    const std::string& Problem() const { return problem_; }
    std::string Url(const std::string& path) const { return "https://127.0.0.1:" + std::to_string(port_) + path; }
    int Handshakes() const { return handshakes_; }
    int Requests() const { return requests_; }

private:
    void Run() {
        for (;;) {
            GSocket* client = g_socket_accept(socket_, cancel_, nullptr);
            if (!client) return;  // cancelled
            Serve(client);
            g_object_unref(client);
        }
    }

    void Serve(GSocket* client) {
        g_socket_set_timeout(client, 10);
        GSocketConnection* connection = g_socket_connection_factory_create_connection(client);
        GIOStream* tls = g_tls_server_connection_new(G_IO_STREAM(connection), certificate_, nullptr);
        if (tls) {
            ++handshakes_;
            if (g_tls_connection_handshake(G_TLS_CONNECTION(tls), cancel_, nullptr)) {
                std::string request;
                char buf[4096];
                while (request.find("\r\n\r\n") == std::string::npos) {
                    gssize n = g_input_stream_read(g_io_stream_get_input_stream(tls), buf, sizeof buf, cancel_,
                                                   nullptr);
                    if (n <= 0) break;
                    request.append(buf, static_cast<size_t>(n));
                }
                if (request.find("\r\n\r\n") != std::string::npos) {
                    ++requests_;
                    std::string response = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n"
                                           "Content-Length: " + std::to_string(page_.size()) + "\r\n\r\n" + page_;
                    g_output_stream_write_all(g_io_stream_get_output_stream(tls), response.data(), response.size(),
                                              nullptr, cancel_, nullptr);
                }
            }
            g_io_stream_close(tls, nullptr, nullptr);
            g_object_unref(tls);
        }
        g_object_unref(connection);
    }

    std::string page_;
    qeltest::TempFolder folder_{"qel-tls", qeltest::TempFolder::Place::Tmp};
    std::string dir_ = folder_.Path();
    std::string problem_;
    GTlsCertificate* certificate_ = nullptr;
    GSocket* socket_ = nullptr;
    GCancellable* cancel_ = nullptr;
    int port_ = 0;
    std::atomic<int> handshakes_{0};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

} // namespace e2e
