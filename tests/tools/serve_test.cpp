// `mornavel serve` as the page and a stranger use it: the program started on
// a free port, spoken to over HTTP on loopback, stopped with SIGTERM.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>
#include <thread>

#include "program_run.h"

extern char** environ;

namespace {

using nlohmann::json;
using toolstest::TempFolder;

// The server, started with `args` and TMPDIR in its own folder.
class Server {
  public:
    explicit Server(std::vector<std::string> args) {
        args.insert(args.begin(), {MORNAVEL_PROGRAM, "serve"});
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string out = folder_ / "out.txt";
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT, 0644);
        setenv("TMPDIR", folder_.path().c_str(), 1);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &files, nullptr, argv.data(), environ), 0);
        unsetenv("TMPDIR");
        posix_spawn_file_actions_destroy(&files);
        // The address line: open http://127.0.0.1:PORT/?token=TOKEN (Ctrl-C stops)
        const std::string lead = "open http://127.0.0.1:";
        for (int i = 0; i < 200 && port_ == 0; ++i) {
            const std::string text = toolstest::ReadFile(out);
            const std::size_t at = text.find(lead), token = text.find("/?token=", at);
            if (at != std::string::npos && token != std::string::npos &&
                text.find(' ', token) != std::string::npos) {
                port_ = std::stoi(text.substr(at + lead.size()));
                token_ = text.substr(token + 8, text.find(' ', token) - token - 8);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        EXPECT_NE(port_, 0) << "no address line";
    }
    ~Server() { Stop(); }

    // SIGTERM; the exit status, -1 when it did not end.
    int Stop() {
        if (pid_ <= 0) return status_;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = 0;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }
    // Folders the server left in its TMPDIR.
    int LeftFolders() const {
        int n = 0;
        for (const auto& name : folder_.Names()) n += name.rfind("mornavel-serve.", 0) == 0;
        return n;
    }

    httplib::Client Client() const {
        httplib::Client c("127.0.0.1", port_);
        c.set_read_timeout(60);
        return c;
    }
    const std::string& token() const { return token_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    TempFolder folder_;
    pid_t pid_ = 0;
    int port_ = 0;
    int status_ = -1;
    std::string token_;
};

// A browser's session: the cookies the server set on opening the page.
struct Browser {
    httplib::Client client;
    std::string cookies;

    explicit Browser(const Server& server) : client(server.Client()) {
        const auto page = client.Get("/?token=" + server.token());
        EXPECT_TRUE(page && page->status == 200);
        for (std::size_t i = 0; page && i < page->get_header_value_count("Set-Cookie"); ++i) {
            const std::string c = page->get_header_value("Set-Cookie", i);
            cookies += (cookies.empty() ? "" : "; ") + c.substr(0, c.find(';'));
        }
        // The session cookie comes with the first request that needs a session.
        const auto list = client.Get("/api/recordings", {{"Cookie", cookies}});
        for (std::size_t i = 0; list && i < list->get_header_value_count("Set-Cookie"); ++i) {
            const std::string c = list->get_header_value("Set-Cookie", i);
            cookies += "; " + c.substr(0, c.find(';'));
        }
    }
    httplib::Result Get(const std::string& path) { return client.Get(path, {{"Cookie", cookies}}); }
    httplib::Result Post(const std::string& path, const std::string& body,
                         const char* type = "application/json") {
        return client.Post(path, {{"Cookie", cookies}}, body, type);
    }
    std::vector<std::string> Recordings() {
        std::vector<std::string> ids;
        const json answer = json::parse(Get("/api/recordings")->body);
        for (const json& r : answer["recordings"]) ids.push_back(r["id"]);
        return ids;
    }
};

// A PNG answer decoded: its size and how many colours it has.
std::pair<int, int> PictureOf(const httplib::Result& answer, const TempFolder& folder) {
    if (!answer || answer->status != 200 || answer->get_header_value("Content-Type") != "image/png")
        return {0, 0};
    toolstest::WriteFile(folder / "view.png", answer->body);
    toolstest::Picture p;
    if (!toolstest::ReadPng(folder / "view.png", p)) return {0, 0};
    std::vector<uint32_t> colours(p.pixels);
    std::sort(colours.begin(), colours.end());
    return {p.width,
            static_cast<int>(std::unique(colours.begin(), colours.end()) - colours.begin())};
}

std::string FromBase64(const std::string& text) {
    static const std::string digits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    uint32_t word = 0;
    int bits = 0;
    for (const char c : text) {
        if (c == '=') break;
        word = word << 6 | static_cast<uint32_t>(digits.find(c));
        if ((bits += 6) >= 8) bytes += static_cast<char>(word >> (bits -= 8) & 0xFF);
    }
    return bytes;
}

TEST(Serve, ShowsTheCaptureAndEachSessionsOwnUploadsThenRemovesThem) {
    TempFolder folder;
    const std::string wav = folder / "stereo.wav";
    ASSERT_EQ(std::system((std::string(SOX_PROGRAM) + " -n -r 8000 -c 2 " + wav +
                           " synth 1 sine 440 sine 1000 2>/dev/null")
                              .c_str()),
              0);
    Server server({"--port", "0"});
    Browser a(server), b(server);

    const auto page = a.Get("/");
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("aria-label=\"Method\""), std::string::npos);
    EXPECT_EQ(a.Get("/app.js")->status, 200);
    const json methods = json::parse(a.Get("/api/methods")->body)["methods"];
    EXPECT_EQ(methods.size(), 8u);
    EXPECT_EQ(a.Recordings(), std::vector<std::string>{"capture"});

    // The first view is the capture's STFT, drawn as render draws it.
    const auto png = a.Post("/api/view", "{}");
    const auto [width, colours] = PictureOf(png, folder);
    EXPECT_EQ(width, 1280);
    EXPECT_GT(colours, 100);

    // The same picture described for the read-out. At 1 s the linear chirp
    // (2 to 9 kHz over 3 s) is at 4333 Hz: the brightest cell of that row
    // between 3 and 6 kHz lies within a cell of it, in the whole view and
    // in a view zoomed on it, which is recomputed with finer cells.
    const auto ridge = [&](const std::string& request) {
        const json v = json::parse(a.Post("/api/view.json", request)->body);
        const std::string cells = FromBase64(v["cells"]);
        const int rows = v["rows"], columns = v["columns"];
        EXPECT_EQ(cells.size(), static_cast<std::size_t>(rows) * columns);
        const double t0 = v["time"]["offset"], dt = v["time"]["step"];
        const double f0 = v["frequency"]["offset"], df = v["frequency"]["step"];
        const auto row = static_cast<std::size_t>(std::lround((1.0 - t0) / dt)) * columns;
        // The brightest byte may span several fine cells: the middle of them.
        int first = -1, last = -1;
        for (int c = 0; c < columns && row + c < cells.size(); ++c) {
            if (f0 + c * df < 3000 || f0 + c * df > 6000) continue;
            const auto level = static_cast<uint8_t>(cells[row + c]);
            if (first < 0 || level > static_cast<uint8_t>(cells[row + first]))
                first = last = c;
            else if (level == static_cast<uint8_t>(cells[row + first]))
                last = c;
        }
        EXPECT_NEAR(f0 + (first + last) / 2.0 * df, 2000 + 7000 / 3.0, df) << request;
        return std::tuple{v, t0, df};
    };
    const auto [whole, wholeStart, wholeStep] = ridge("{}");
    EXPECT_EQ(FromBase64(whole["png"]), png->body);
    const std::string zoomRequest =
        R"({"start": 0.8, "duration": 0.4, "low": 3000, "high": 6000, "fit": true})";
    const auto [zoomed, zoomStart, zoomStep] = ridge(zoomRequest);
    EXPECT_LT(zoomStep, wholeStep / 4);
    EXPECT_NEAR(zoomStart, 0.8, zoomed["time"]["step"].get<double>());
    EXPECT_LT(wholeStart, 0.01);

    // The zoomed view's values as CSV: a line per cell row, the frequencies of
    // its columns in the header, the first line at the first cell row.
    const auto csv = a.Post("/api/view.csv", zoomRequest);
    ASSERT_TRUE(csv && csv->status == 200);
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = csv->body.find('\n', at)) != std::string::npos;
         at = end + 1)
        lines.push_back(csv->body.substr(at, end - at));
    ASSERT_EQ(lines.size(), zoomed["rows"].get<std::size_t>() + 1);
    EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), ','), zoomed["columns"].get<int>());
    EXPECT_NEAR(std::stod(lines[1]), zoomStart, 1e-6);

    const auto added = a.Post("/api/recordings?name=stereo.wav", toolstest::ReadFile(wav),
                              "application/octet-stream");
    ASSERT_TRUE(added);
    ASSERT_EQ(added->status, 201) << added->body;
    const json upload = json::parse(added->body);
    EXPECT_EQ(upload["channels"], 2);
    EXPECT_NEAR(upload["seconds"].get<double>(), 1.0, 1e-9);
    const std::string view = R"({"recording": ")" + upload["id"].get<std::string>() +
                             R"(", "channel": 2, "method": "gabor", "width": 640, "height": 400})";
    EXPECT_EQ(PictureOf(a.Post("/api/view", view), folder).first, 640);

    // The other session sees neither the upload nor its picture.
    EXPECT_EQ(b.Recordings(), std::vector<std::string>{"capture"});
    EXPECT_EQ(b.Post("/api/view", view)->status, 404);

    EXPECT_EQ(server.Stop(), 0);
    EXPECT_EQ(server.LeftFolders(), 0);
}

struct BadRequest {
    const char* name;
    const char* path;
    const char* body;  // null: a GET
    int status;
    const char* message;
    enum Who { kSession, kNoToken, kForeignHost } who = kSession;
};

class BadRequests : public ::testing::TestWithParam<BadRequest> {};

// One server for the table, with an upload limit of 1 MB.
Server& TableServer() {
    static Server server({"--port", "0", "--upload-limit", "1"});
    return server;
}

TEST_P(BadRequests, AreRefusedWithTheirStatusAndAMessage) {
    const BadRequest& c = GetParam();
    Server& server = TableServer();
    Browser browser(server);
    httplib::Headers headers;
    if (c.who == BadRequest::kSession) headers.emplace("Cookie", browser.cookies);
    if (c.who == BadRequest::kForeignHost) {
        headers.emplace("Cookie", browser.cookies);
        headers.emplace("Host", "rebound.example:" + server.Address().substr(10));
    }
    const std::string body = c.body && std::string(c.body) == "<2 MB>" ? std::string(2 << 20, 'x')
                             : c.body                                  ? c.body
                                                                       : "";
    const auto answer = c.body ? browser.client.Post(c.path, headers, body, "application/json")
                               : browser.client.Get(c.path, headers);
    ASSERT_TRUE(answer) << httplib::to_string(answer.error());
    EXPECT_EQ(answer->status, c.status) << answer->body;
    const json error = json::parse(answer->body, nullptr, false);
    ASSERT_TRUE(error.is_object() && error.contains("error")) << answer->body;
    EXPECT_NE(error["error"].get<std::string>().find(c.message), std::string::npos)
        << error["error"];
    EXPECT_TRUE(answer->get_header_value("Access-Control-Allow-Origin").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadRequests,
    ::testing::Values(BadRequest{"NoToken", "/api/methods", nullptr, 403, "token is missing",
                                 BadRequest::kNoToken},
                      BadRequest{"WrongToken", "/?token=0123456789abcdef", nullptr, 403,
                                 "token is wrong", BadRequest::kNoToken},
                      BadRequest{"ForeignHost", "/api/methods", nullptr, 403,
                                 "answers only for 127.0.0.1", BadRequest::kForeignHost},
                      BadRequest{"BadJson", "/api/view", "{\"method\": ", 400, "not a JSON object"},
                      BadRequest{"UnknownMethod", "/api/view", R"({"method": "nope"})", 400,
                                 "unknown method 'nope'"},
                      BadRequest{"UnknownParameter", "/api/view", R"({"colour": "red"})", 400,
                                 "unknown parameter 'colour'"},
                      BadRequest{"OutOfRange", "/api/view", R"({"bins": 0})", 400,
                                 "parameter 'bins' must be a whole number from 1"},
                      BadRequest{"NotANumber", "/api/view", R"({"step": "ten"})", 400,
                                 "parameter 'step' must be a number"},
                      BadRequest{"RefusedByTheAnalysis", "/api/view",
                                 R"({"method": "gabor", "bins": 384})", 400, "refused: status"},
                      BadRequest{"KernelTooLarge", "/api/view",
                                 R"({"method": "cwd", "bins": 1024})", 400,
                                 "cwd at 1024 bins takes spans of at most 0.74 s"},
                      BadRequest{"UnknownRecording", "/api/view", R"({"recording": "upload-9"})",
                                 404, "no recording 'upload-9'"},
                      BadRequest{"UploadAboveTheLimit", "/api/recordings?name=big.wav", "<2 MB>",
                                 413, "larger than the limit of 1 MB"},
                      BadRequest{"TextAsAudio", "/api/recordings?name=notes.wav", "just some words",
                                 415, "notes.wav is not a recording"},
                      BadRequest{"NameWithFolders", "/api/recordings?name=../escape.wav", "RIFF",
                                 400, "must be a plain name"},
                      BadRequest{"UnknownPage", "/etc/passwd", nullptr, 404, "no such page"}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
