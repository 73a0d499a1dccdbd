#pragma once
// mornavel serve: the analyser in the browser. A local HTTP server offers the
// page (served from the program itself) and a JSON API over the same analysis
// and drawing as `render`. It binds to loopback unless told otherwise, wants
// its access token on every request, refuses requests for another host name,
// keeps each browser session's uploads in a folder of its own and removes
// them when it stops.

#include <cstdint>
#include <string>
#include <vector>

namespace front {

struct ServeOptions {
    std::vector<std::string> files;  // recordings offered besides the built-in capture
    std::string host = "127.0.0.1";
    int port = 0;                  // 0: a free port
    bool open = false;             // start the desktop's browser on the address
    double uploadLimitMB = 256.0;  // largest upload
};

// Serves until the process is interrupted (SIGINT or SIGTERM); returns the
// exit code. Fails with kExitUsage for an address it cannot listen on.
int Serve(const ServeOptions& options);

}  // namespace front
