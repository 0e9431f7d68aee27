#include "server/connection.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>

namespace veldra::server {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Waits up to `timeout` for `events` on the socket: 1 when they (or an error
// or the peer's hang-up) came, 0 when the time ran out, -1 on a failure.
int wait_for(int sock, short events, Clock::duration timeout) {
    const Clock::time_point end = Clock::now() + timeout;
    for (;;) {
        const auto left = std::max<milliseconds::rep>(0, std::chrono::ceil<milliseconds>(end - Clock::now()).count());
        pollfd p{sock, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::min<milliseconds::rep>(left, 1 << 30)));
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? -1 : n == 0 ? 0 : 1;
    }
}

void address_text(const sockaddr_storage& address, socklen_t length, std::string& ip, int& port) {
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return;
    ip = host;
    port = 0;
    for (const char* c = service; *c >= '0' && *c <= '9'; ++c) port = port * 10 + (*c - '0');
}

// One connection's bytes for cpp-httplib's parser and its answers. The time
// of a request runs from the first read after an answer (or the
// connection's start) to the first write of its answer; when it runs out,
// the stream answers 408 itself, and every later read and write fails.
class ConnectionStream final : public httplib::Stream {
public:
    ConnectionStream(socket_t sock, const serve::ConnectionLimits& limits)
        : sock_(sock), idle_(std::chrono::seconds(limits.idle_seconds)),
          request_(std::chrono::seconds(limits.request_seconds)), request_seconds_(limits.request_seconds) {}

    bool is_readable() const override {
        if (expired_) return false;
        if (begin_ < end_) return true;
        const Clock::duration left = request_end_ ? *request_end_ - Clock::now() : request_;
        return left > Clock::duration::zero() && wait_for(sock_, POLLIN, std::min(idle_, left)) > 0;
    }

    bool is_writable() const override { return !expired_ && wait_for(sock_, POLLOUT, idle_) > 0; }

    ssize_t read(char* ptr, size_t size) override {
        if (expired_) return -1;
        if (!request_end_) request_end_ = Clock::now() + request_;
        if (begin_ == end_) {
            const Clock::duration left = *request_end_ - Clock::now();
            const int ready = left > Clock::duration::zero() ? wait_for(sock_, POLLIN, std::min(idle_, left)) : 0;
            if (ready == 0 && Clock::now() >= *request_end_) return expire();
            if (ready <= 0) return -1;  // no byte within the idle limit, or the socket failed
            ssize_t n;
            do n = ::recv(sock_, buffer_, sizeof buffer_, 0);
            while (n < 0 && errno == EINTR);
            if (n <= 0) return n;
            begin_ = 0;
            end_ = static_cast<std::size_t>(n);
        }
        const std::size_t n = std::min(size, end_ - begin_);
        std::memcpy(ptr, buffer_ + begin_, n);
        begin_ += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (expired_) return -1;
        request_end_.reset();  // the answer has begun: the next read starts the next request's time
        return send_some(ptr, size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (getpeername(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            address_text(address, length, ip, port);
    }

    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (getsockname(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            address_text(address, length, ip, port);
    }

    socket_t socket() const override { return sock_; }

    // Between requests: true when the next one begins within the idle limit
    // (bytes already read count) and the server still listens. It looks at
    // `listening` every tenth of a second, so that a stop is not kept waiting.
    bool next_request_begins(const std::atomic<socket_t>& listening) const {
        if (expired_) return false;
        if (begin_ < end_) return true;
        const Clock::time_point end = Clock::now() + idle_;
        while (listening != INVALID_SOCKET) {
            const Clock::duration left = end - Clock::now();
            if (left <= Clock::duration::zero()) return false;
            const int ready = wait_for(sock_, POLLIN, std::min<Clock::duration>(left, milliseconds(100)));
            if (ready != 0) return ready > 0;
        }
        return false;
    }

private:
    ssize_t send_some(const char* ptr, size_t size) {
        if (wait_for(sock_, POLLOUT, idle_) <= 0) return -1;
        ssize_t n;
        do n = ::send(sock_, ptr, size, MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        return n;
    }

    ssize_t expire() {
        const std::string body =
            "the request did not arrive whole within " + std::to_string(request_seconds_) + " seconds\n";
        const std::string answer = "HTTP/1.1 408 Request Timeout\r\nContent-Type: text/plain; charset=utf-8\r\n"
                                   "Content-Length: " + std::to_string(body.size()) +
                                   "\r\nConnection: close\r\n\r\n" + body;
        for (std::size_t sent = 0; sent < answer.size();) {
            const ssize_t n = send_some(answer.data() + sent, answer.size() - sent);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        ::shutdown(sock_, SHUT_WR);
        expired_ = true;
        return -1;
    }

    socket_t sock_;
    Clock::duration idle_;
    Clock::duration request_;
    int request_seconds_;
    std::optional<Clock::time_point> request_end_;  // while a request is read: by when it must have arrived
    bool expired_ = false;
    char buffer_[4096];
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

}  // namespace

HttpServer::HttpServer(const serve::ConnectionLimits& limits) : limits_(limits) {
    set_read_timeout(limits.idle_seconds, 0);
    set_write_timeout(limits.idle_seconds, 0);
    set_keep_alive_timeout(limits.idle_seconds);
}

bool HttpServer::process_and_close_socket(socket_t sock) {
    bool answered = false;
    {
        ConnectionStream stream(sock, limits_);
        for (std::size_t left = keep_alive_max_count_; left > 0 && stream.next_request_begins(svr_sock_); --left) {
            bool closed = false;
            answered = process_request(stream, left == 1, closed, nullptr);
            if (!answered || closed) break;
        }
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return answered;
}

}  // namespace veldra::server
