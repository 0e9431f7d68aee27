// veldra_serve: the service of serve/ behind cpp-httplib, with a bounded
// queue of connections, a bounded time for each request to arrive, and a
// clean end on SIGTERM or SIGINT.
#include <httplib.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <unistd.h>
#include <thread>

#include "serve/command_line.h"
#include "serve/service.h"
#include "serve/task_queue.h"
#include "server/connection.h"
#include "server/static_files.h"

namespace {

using namespace veldra::serve;

int stop_pipe[2] = {-1, -1};

extern "C" void on_stop_signal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(stop_pipe[1], &byte, 1);
    errno = saved;
}

// httplib's task queue over our bounded one.
class Tasks : public httplib::TaskQueue {
public:
    Tasks(int threads, std::size_t capacity) : tasks_(threads, capacity) {}
    void enqueue(std::function<void()> fn) override {
        if (!tasks_.push(fn)) fn();  // after shutdown: the connection is answered and closed at once
    }
    void shutdown() override { tasks_.shutdown(); }

private:
    BoundedTasks tasks_;
};

}  // namespace

int main(int argc, char** argv) {
    const ParsedCommandLine parsed = parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.exit_status >= 0) {
        std::cout << parsed.out;
        std::cerr << parsed.err;
        return parsed.exit_status;
    }
    const ServeOptions& o = parsed.options;

    // SIGTERM and SIGINT write a byte into a pipe, whichever thread takes
    // them; one thread waits on the pipe and stops the server.
    if (pipe(stop_pipe) != 0) {
        std::cerr << "veldra_serve: cannot make a pipe\n";
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    ServiceOptions service_options;
    service_options.cache_bytes = o.cache_mb << 20;
    service_options.page = veldra::server::page_html();
    service_options.static_files = veldra::server::static_files();
    std::unique_ptr<Service> service;
    try {
        service = std::make_unique<Service>(o.models, service_options);
    } catch (const std::exception& e) {
        std::cerr << "veldra_serve: " << e.what() << "\n";
        return 1;
    }
    for (const auto& m : service->models()) {
        for (const std::string& w : m->model.warnings) std::cerr << "veldra_serve: " << w << "\n";
        for (const std::string& s : m->skipped) std::cerr << "veldra_serve: not served: " << s << "\n";
    }

    veldra::server::HttpServer server(o.connection);
    server.new_task_queue = [&] { return new Tasks(o.threads, static_cast<std::size_t>(o.queue)); };
    server.set_tcp_nodelay(true);  // a small answer goes out at once, not after the peer's delayed ACK
    server.set_keep_alive_max_count(1000);
    server.set_payload_max_length(4096);
    const QueryLimits limits;
    auto answer = [&](const httplib::Request& req, httplib::Response& res) {
        Response r;
        try {
            std::vector<std::pair<std::string, std::string>> pairs;
            if (req.params.size() > limits.max_parameters) throw RequestError(400, "", "too many parameters");
            for (const auto& [k, v] : req.params) pairs.emplace_back(k, v);
            const Query q = Query::from_pairs(std::move(pairs), limits);
            std::string base = o.base_url;
            if (base.empty()) {
                const std::string host = req.get_header_value("Host");
                base = "http://" + (host.empty() || host.size() > 256 ? o.bind + ":" + std::to_string(req.local_port)
                                                                     : host);
            }
            r = service->handle(req.path, q, base);
        } catch (const RequestError& e) {
            r = {e.status(), "text/plain; charset=utf-8", std::string(e.what()) + "\n", {}};
        } catch (const std::exception& e) {
            r = {500, "text/plain; charset=utf-8", std::string("the run could not be read: ") + e.what() + "\n", {}};
        }
        res.status = r.status;
        if (!r.location.empty()) res.set_header("Location", r.location);
        res.set_content(std::move(r.body), r.content_type.c_str());
    };
    server.Get(".*", answer);

    const int port = o.port == 0 ? server.bind_to_any_port(o.bind) : (server.bind_to_port(o.bind, o.port) ? o.port : -1);
    if (port < 0) {
        std::cerr << "veldra_serve: cannot listen on " << o.bind << " port " << o.port << "\n";
        return 1;
    }
    std::cout << open_url(o, port) << std::endl;
    std::cerr << "veldra_serve: serving " << service->models().size() << " run(s) on " << o.bind << ":" << port
              << "; SIGTERM or Ctrl-C ends it\n";

    std::thread stopper([&] {
        char byte = 0;
        while (read(stop_pipe[0], &byte, 1) < 0 && errno == EINTR) {
        }
        server.stop();
    });
    const bool listened = server.listen_after_bind();
    // Ended by a signal, or the listener failed: wake the stopping thread.
    on_stop_signal(0);
    stopper.join();
    std::cerr << "veldra_serve: stopped\n";
    return listened ? 0 : 1;
}
