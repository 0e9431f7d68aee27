// veldra_serve's connections: cpp-httplib's server, with each connection read
// and written through a stream of our own. cpp-httplib bounds only the pause
// between two reads, so a client that trickles a byte every few seconds would
// hold a thread for as long as it liked; here a request must also arrive
// whole within a time from its first byte, or it is answered 408 and its
// connection closed.
#pragma once

#include <httplib.h>

#include "serve/command_line.h"

namespace veldra::server {

class HttpServer : public httplib::Server {
public:
    // Sets cpp-httplib's own read, write and keep-alive timeouts from
    // `limits` too, so that the limits are said in one place.
    explicit HttpServer(const serve::ConnectionLimits& limits);

private:
    // The requests of one connection, then closes it.
    bool process_and_close_socket(socket_t sock) override;

    serve::ConnectionLimits limits_;
};

}  // namespace veldra::server
