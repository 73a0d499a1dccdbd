#include "server.h"

#include <httplib.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>

#include "analysis.h"
#include "capture.h"
#include "drawing.h"
#include "failure.h"
#include "figure.h"
#include "page_files.h"
#include "signal_io.h"

extern char** environ;

namespace front {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr char kTokenCookie[] = "mornavel_token";
constexpr char kSessionCookie[] = "mornavel_session";

// An answer other than success: {"error": message} with an HTTP status, and
// the parameter at fault when there is one.
struct HttpError {
    int status;
    std::string message;
    std::string parameter = {};
};

[[noreturn]] void Refuse(int status, std::string message, std::string parameter = {}) {
    throw HttpError{status, std::move(message), std::move(parameter)};
}

void SendError(httplib::Response& res, const HttpError& e) {
    json body = {{"error", e.message}};
    if (!e.parameter.empty()) body["parameter"] = e.parameter;
    res.status = e.status;
    res.set_content(body.dump(), "application/json");
}

// A failure of the analysis or the input, as the status that fits it.
HttpError FromFailure(const Failure& f) {
    switch (f.exitCode()) {
        case kExitUsage:
        case kExitRefused:
            return {400, f.what()};
        case kExitInput:
            return {415, f.what()};
        default:
            return {500, f.what()};
    }
}

std::string Base64(std::string_view bytes) {
    static constexpr char digits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        uint32_t word = 0;
        for (std::size_t k = 0; k < 3; ++k)
            word = word << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= n ? digits[(word >> (18 - 6 * k)) & 63] : '=';
    }
    return text;
}

std::string RandomHex(int bytes) {
    std::random_device device;
    std::string text;
    for (int i = 0; i < bytes; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned>(device() & 0xFF));
        text += two;
    }
    return text;
}

std::string Cookie(const httplib::Request& req, const std::string& name) {
    const std::string header = req.get_header_value("Cookie");
    std::size_t at = 0;
    while (at < header.size()) {
        std::size_t end = header.find(';', at);
        if (end == std::string::npos) end = header.size();
        std::string pair = header.substr(at, end - at);
        pair.erase(0, pair.find_first_not_of(' '));
        if (pair.compare(0, name.size() + 1, name + "=") == 0) return pair.substr(name.size() + 1);
        at = end + 1;
    }
    return {};
}

void SetCookie(httplib::Response& res, const std::string& name, const std::string& value) {
    res.set_header("Set-Cookie", name + "=" + value + "; Path=/; HttpOnly; SameSite=Strict");
}

// A recording a session can look at.
struct Recording {
    std::string id;    // "capture", "file-1", "upload-3"
    std::string name;  // as the person knows it
    std::string path;  // empty for the built-in capture
    double rate = 0;   // of a text file, given with its upload
    double seconds = 0;
    int channels = 1;
    double sampleRate = 0;
};

json Describe(const Recording& r) {
    return {{"id", r.id},
            {"name", r.name},
            {"seconds", r.seconds},
            {"rate", r.sampleRate},
            {"channels", r.channels}};
}

int AudioChannels(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return 1;
    sf_close(file);
    return info.channels;
}

// Reads a recording's channel; failures name the recording, not where it is stored.
Signal Load(const Recording& r, int channel) {
    if (r.path.empty()) {
        if (channel != 1) Refuse(400, "the built-in capture has one channel", "channel");
        return capture::Make();
    }
    if (channel < 1 || channel > r.channels)
        Refuse(400, r.name + " has " + std::to_string(r.channels) + " channel(s)", "channel");
    try {
        Signal s = ReadSignal(r.path, InputOptions{channel, r.rate});
        s.name = r.name;
        return s;
    } catch (const Failure& f) {
        std::string message = f.what();
        for (std::size_t at; (at = message.find(r.path)) != std::string::npos;)
            message.replace(at, r.path.size(), r.name);
        throw Failure(f.exitCode(), message);
    }
}

// The numeric fields of a view request, with the ranges the command line takes.
struct Field {
    const char* name;
    double low, high;
    bool integer;
};
constexpr Field kFields[] = {
    {"channel", 1, 1024, true},  {"window", 1, 1 << 22, true}, {"step", 1, 1 << 22, true},
    {"bins", 1, 1 << 22, true},  {"order", 0, 4096, true},     {"atoms", 0, 100000, true},
    {"sigma", 1e-9, 1e9, false}, {"alpha", 0, 1e9, false},     {"range", 0, 70, false},
    {"top", 0, 0.999, false},    {"bottom", 0, 0.999, false},  {"width", 480, 8000, true},
    {"height", 320, 8000, true}, {"start", 0, 1e9, false},     {"duration", 1e-6, 1e9, false},
    {"low", 0, 1e9, false},      {"high", 1e-6, 1e9, false},
};

double Number(const json& request, const Field& f, double fallback) {
    const auto it = request.find(f.name);
    if (it == request.end()) return fallback;
    const std::string name = f.name;
    if (!it->is_number()) Refuse(400, "parameter '" + name + "' must be a number", name);
    const double v = it->get<double>();
    if (!(v >= f.low && v <= f.high) || (f.integer && v != std::floor(v)))
        Refuse(400,
               "parameter '" + name + "' must be " + (f.integer ? "a whole number " : "") +
                   "from " + Fixed(f.low, f.integer ? 0 : 3) + " to " +
                   Fixed(f.high, f.integer ? 0 : 3) + ", not " + it->dump(),
               name);
    return v;
}

// The part of the recording shown: seconds and hertz; a negative end is the
// recording's end or the highest frequency.
struct Span {
    double start = 0, duration = -1, low = 0, high = -1;
};

struct ViewRequest {
    std::string recording = "capture";
    int channel = 1;
    Span span;
    bool fit = false;  // step and bins chosen for the span and the picture's size
    const Method* method = nullptr;
    AnalysisParams params;
    DisplayOptions display;
    Look look{ColourMap::kPerceptual, 1280, 720};
};

ViewRequest ParseView(const std::string& body) {
    json request = json::parse(body, nullptr, false);
    if (request.is_discarded() || !request.is_object())
        Refuse(400, "the request is not a JSON object");
    static const std::vector<std::string> known = [] {
        std::vector<std::string> names = {"recording", "method",  "analytic",
                                          "linear",    "colours", "fit"};
        for (const Field& f : kFields) names.push_back(f.name);
        return names;
    }();
    for (const auto& [key, value] : request.items())
        if (std::find(known.begin(), known.end(), key) == known.end())
            Refuse(400, "unknown parameter '" + key + "'", key);
    const auto text = [&](const char* key, const std::string& fallback) {
        const auto it = request.find(key);
        if (it == request.end()) return fallback;
        if (!it->is_string()) Refuse(400, std::string("parameter '") + key + "' must be text", key);
        return it->get<std::string>();
    };
    const auto flag = [&](const char* key) {
        const auto it = request.find(key);
        if (it == request.end()) return false;
        if (!it->is_boolean())
            Refuse(400, std::string("parameter '") + key + "' must be true or false", key);
        return it->get<bool>();
    };

    ViewRequest v;
    v.recording = text("recording", v.recording);
    const std::string method = text("method", "stft");
    v.method = FindMethod(method);
    if (!v.method)
        Refuse(400, "unknown method '" + method + "'; methods: " + MethodNames(), "method");
    AnalysisParams& p = v.params;
    const auto field = [&](const char* name, double fallback) {
        for (const Field& f : kFields)
            if (std::string(f.name) == name) return Number(request, f, fallback);
        return fallback;
    };
    v.channel = static_cast<int>(field("channel", 1));
    p.window = static_cast<int32_t>(field("window", p.window));
    p.step = static_cast<int32_t>(field("step", p.step));
    p.bins = static_cast<int32_t>(field("bins", p.bins));
    p.order = static_cast<int32_t>(field("order", p.order));
    p.atoms = static_cast<int32_t>(field("atoms", p.atoms));
    p.sigma = field("sigma", p.sigma);
    p.alpha = field("alpha", p.alpha);
    p.analytic = flag("analytic");
    DisplayOptions& d = v.display;
    d.range = field("range", 0);
    d.topFraction = field("top", 0);
    d.bottomFraction = field("bottom", 0);
    d.decibel = !flag("linear");
    if (!d.decibel && d.range > 0)
        Refuse(400, "a dB range applies to decibels, not linear", "range");
    const std::string colours = text("colours", "viridis");
    if (!ParseColourMap(colours, v.look.map))
        Refuse(400, "unknown colour map '" + colours + "'; use viridis or grey", "colours");
    v.look.width = static_cast<int>(field("width", 1280));
    v.look.height = static_cast<int>(field("height", 720));
    v.span = {field("start", 0), field("duration", -1), field("low", 0), field("high", -1)};
    if (v.span.high >= 0 && v.span.high <= v.span.low)
        Refuse(400, "the highest frequency shown must lie above the lowest", "high");
    v.fit = flag("fit");
    return v;
}

// The span within the recording: what is asked, brought inside it.
Span Within(Span s, double seconds, double nyquist) {
    if (s.start >= seconds)
        Refuse(400, "the recording ends at " + Fixed(seconds, 3) + " s", "start");
    if (s.duration < 0 || s.start + s.duration > seconds) s.duration = seconds - s.start;
    if (s.low >= nyquist) Refuse(400, "the frequencies end at " + Fixed(nyquist, 0) + " Hz", "low");
    if (s.high < 0 || s.high > nyquist) s.high = nyquist;
    return s;
}

// The linear spectrograms recomputed for a span: a step that gives about a
// frame per pixel across, and bins that give at least a cell per pixel up.
void FitToSpan(const Span& s, double rate, const PlotArea& area, AnalysisParams& p) {
    p.step = std::max(1, static_cast<int>(s.duration * rate / area.width));
    const double bins = area.height * rate / (s.high - s.low);
    p.bins = 64;
    while (p.bins < bins && p.bins < (1 << 16)) p.bins *= 2;
}

// The samples a span needs, with `margin` more on either side for the frames
// that reach into it; `first` receives the excerpt's first sample.
Signal Excerpt(const Signal& s, const Span& span, int32_t margin, std::size_t& first) {
    const auto n = static_cast<long long>(s.samples.size());
    const long long a = std::max(0LL, std::llround(span.start * s.rate) - margin);
    const long long b =
        std::min(n, std::llround((span.start + span.duration) * s.rate) + margin + 1);
    first = static_cast<std::size_t>(a);
    Signal e;
    e.name = s.name;
    e.rate = s.rate;
    e.samples.assign(s.samples.begin() + a, s.samples.begin() + b);
    return e;
}

// The cells of a graph whose centres lie in the span, the graph's time
// shifted by `shift` seconds (where its excerpt starts).
Graph Crop(const Graph& g, const Span& s, double shift) {
    const auto range = [](double from, double to, double offset, double step, int32_t count) {
        const int32_t i0 = std::max(0, static_cast<int32_t>(std::ceil((from - offset) / step)));
        const int32_t i1 =
            std::min(count, static_cast<int32_t>(std::floor((to - offset) / step)) + 1);
        return std::pair{i0, std::max(i0, i1)};
    };
    const auto [r0, r1] =
        range(s.start, s.start + s.duration, g.timeOffset + shift, g.timeStep, g.rows);
    const auto [c0, c1] = range(s.low, s.high, g.freqOffset, g.freqStep, g.columns);
    if (r1 <= r0 || c1 <= c0)
        Refuse(400, "the span is narrower than one cell; widen it or use a finer step", "duration");
    Graph out = g;
    out.rows = r1 - r0;
    out.columns = c1 - c0;
    out.timeOffset = g.timeOffset + shift + r0 * g.timeStep;
    out.freqOffset = g.freqOffset + c0 * g.freqStep;
    out.image.clear();
    out.values.clear();
    for (int32_t r = r0; r < r1; ++r) {
        const auto at = static_cast<std::ptrdiff_t>(r) * g.columns;
        if (!g.image.empty())
            out.image.insert(out.image.end(), g.image.begin() + at + c0, g.image.begin() + at + c1);
        if (!g.values.empty())
            out.values.insert(out.values.end(), g.values.begin() + at + c0,
                              g.values.begin() + at + c1);
    }
    return out;
}

// A browser session: its uploads, in a folder of its own.
struct Session {
    fs::path folder;
    std::vector<Recording> uploads;
    int next = 1;
};

class App {
  public:
    App(const ServeOptions& options, fs::path root)
        : options_(options), root_(std::move(root)), token_(RandomHex(16)) {
        const Signal capture = capture::Make();
        shared_.push_back({"capture", capture.name, "", 0,
                           static_cast<double>(capture.samples.size()) / capture.rate, 1,
                           capture.rate});
        int n = 1;
        for (const std::string& path : options.files) {
            const Signal s = ReadSignal(path, InputOptions{});
            shared_.push_back({"file-" + std::to_string(n++), fs::path(path).filename().string(),
                               fs::absolute(path).string(), 0,
                               static_cast<double>(s.samples.size()) / s.rate, AudioChannels(path),
                               s.rate});
        }
    }

    const std::string& token() const { return token_; }

    void Route(httplib::Server& server, const std::string& hostPort) {
        allowedHosts_ = {hostPort};
        if (options_.host == "127.0.0.1") allowedHosts_.push_back("localhost" + Port(hostPort));
        server.set_payload_max_length(
            static_cast<std::size_t>(options_.uploadLimitMB * 1024 * 1024));
        server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            try {
                Admit(req, res);
                return httplib::Server::HandlerResponse::Unhandled;
            } catch (const HttpError& e) {
                SendError(res, e);
                return httplib::Server::HandlerResponse::Handled;
            }
        });
        server.set_error_handler([this](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty()) return;
            if (res.status == 413)
                SendError(res, {413, "the upload is larger than the limit of " +
                                         Fixed(options_.uploadLimitMB, 0) + " MB"});
            else if (res.status == 404)
                SendError(res, {404, "no such page or request"});
            else
                SendError(res, {res.status, "the request failed"});
        });
        for (const PageFile& f : PageFiles())
            server.Get(f.path, [&f](const httplib::Request&, httplib::Response& res) {
                res.set_content(std::string(f.body), f.type);
                res.set_header("Cache-Control", "no-store");
                // Nothing from elsewhere: the pictures come as data addresses.
                res.set_header("Content-Security-Policy",
                               "default-src 'self'; img-src 'self' data:");
            });
        server.Get("/api/methods", Guarded([](const httplib::Request&, httplib::Response& res) {
                       json methods = json::array();
                       for (const Method& m : Methods())
                           methods.push_back({{"name", m.name},
                                              {"title", m.title},
                                              {"summary", m.summary},
                                              {"power", m.power}});
                       res.set_content(json{{"methods", methods}}.dump(), "application/json");
                   }));
        server.Get("/api/recordings",
                   Guarded([this](const httplib::Request& req, httplib::Response& res) {
                       json list = json::array();
                       for (const Recording& r : Visible(req, res)) list.push_back(Describe(r));
                       res.set_content(json{{"recordings", list}}.dump(), "application/json");
                   }));
        server.Post("/api/recordings",
                    Guarded([this](const httplib::Request& req, httplib::Response& res) {
                        res.status = 201;
                        res.set_content(Describe(Upload(req, res)).dump(), "application/json");
                    }));
        server.Post("/api/view",
                    Guarded([this](const httplib::Request& req, httplib::Response& res) {
                        res.set_content(View(req, res).png, "image/png");
                    }));
        server.Post("/api/view.csv",
                    Guarded([this](const httplib::Request& req, httplib::Response& res) {
                        std::string csv;
                        WriteCsv(View(req, res, false).graph, {},
                                 [&](const std::string& text) { csv += text; });
                        res.set_content(csv, "text/csv; charset=utf-8");
                    }));
        server.Post("/api/view.json",
                    Guarded([this](const httplib::Request& req, httplib::Response& res) {
                        res.set_content(ViewJson(View(req, res)).dump(), "application/json");
                    }));
        server.Get(
            "/api/queue", Guarded([this](const httplib::Request&, httplib::Response& res) {
                res.set_content(json{{"waiting", waiting_.load()}}.dump(), "application/json");
            }));
    }

  private:
    static std::string Port(const std::string& hostPort) {
        return hostPort.substr(hostPort.rfind(':'));
    }

    // The host name against DNS rebinding, then the token: from the address
    // (kept in a cookie from then on) or from that cookie.
    void Admit(const httplib::Request& req, httplib::Response& res) {
        const std::string host = req.get_header_value("Host");
        if (std::find(allowedHosts_.begin(), allowedHosts_.end(), host) == allowedHosts_.end())
            Refuse(403, "this server answers only for " + allowedHosts_.front() + ", not for '" +
                            host + "'");
        const std::string given =
            req.has_param("token") ? req.get_param_value("token") : Cookie(req, kTokenCookie);
        if (given != token_)
            Refuse(403, given.empty() ? "the access token is missing: open the address the "
                                        "server printed"
                                      : "the access token is wrong: open the address the server "
                                        "printed");
        if (req.has_param("token")) SetCookie(res, kTokenCookie, token_);
    }

    template <class Handler>
    static httplib::Server::Handler Guarded(Handler handler) {
        return [handler](const httplib::Request& req, httplib::Response& res) {
            try {
                handler(req, res);
            } catch (const HttpError& e) {
                SendError(res, e);
            } catch (const Failure& f) {
                SendError(res, FromFailure(f));
            } catch (const std::bad_alloc&) {
                SendError(res, {503, "out of memory"});
            } catch (const std::exception& e) {
                SendError(res, {500, e.what()});
            }
        };
    }

    // The session of the request's cookie, or a new one (whose cookie the
    // answer sets). Its folder is made on its first upload.
    Session& SessionOf(const httplib::Request& req, httplib::Response& res) {
        std::string id = Cookie(req, kSessionCookie);
        if (id.empty() || !sessions_.count(id)) {
            id = RandomHex(16);
            sessions_[id].folder = root_ / id;
            SetCookie(res, kSessionCookie, id);
        }
        return sessions_[id];
    }

    std::vector<Recording> Visible(const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(sessionsMutex_);
        std::vector<Recording> list = shared_;
        const Session& s = SessionOf(req, res);
        list.insert(list.end(), s.uploads.begin(), s.uploads.end());
        return list;
    }

    Recording Upload(const httplib::Request& req, httplib::Response& res) {
        const std::string name = req.get_param_value("name");
        if (name.empty() || name.size() > 200 || name == "." || name == ".." ||
            name.find_first_of("/\\") != std::string::npos ||
            std::any_of(name.begin(), name.end(), [](unsigned char c) { return c < 0x20; }))
            Refuse(400, "the file name '" + name + "' must be a plain name, without folders",
                   "name");
        // A rate is for text columns; audio files carry their own.
        double rate = 0;
        if (IsTextName(name) && req.has_param("rate")) {
            try {
                rate = std::stod(req.get_param_value("rate"));
            } catch (const std::exception&) {
                rate = 0;
            }
            if (!(rate > 0 && rate < 1e7))
                Refuse(400, "the rate must be a positive number", "rate");
        }
        Recording r;
        {
            std::lock_guard lock(sessionsMutex_);
            Session& s = SessionOf(req, res);
            fs::create_directories(s.folder);
            r.id = "upload-" + std::to_string(s.next++);
            r.path = (s.folder / (r.id + "-" + name)).string();
        }
        r.name = name;
        r.rate = rate;
        {
            std::FILE* file = std::fopen(r.path.c_str(), "wb");
            const bool written =
                file && std::fwrite(req.body.data(), 1, req.body.size(), file) == req.body.size();
            if (file) std::fclose(file);
            if (!written) Refuse(507, "the upload cannot be stored");
        }
        try {
            const Signal s = Load(r, 1);
            r.seconds = static_cast<double>(s.samples.size()) / s.rate;
            r.sampleRate = s.rate;
            r.channels = IsTextName(name) ? 1 : AudioChannels(r.path);
        } catch (const Failure& f) {
            fs::remove(r.path);
            if (f.exitCode() == kExitInput)
                Refuse(415, name + " is not a recording this server reads: " + f.what());
            throw;
        }
        std::lock_guard lock(sessionsMutex_);
        SessionOf(req, res).uploads.push_back(r);
        return r;
    }

    struct Picture {
        Graph graph;
        Look look;
        std::string png;
    };

    // The view a request asks for: drawn, or with its cells' values instead.
    Picture View(const httplib::Request& req, httplib::Response& res, bool draw = true) {
        const ViewRequest v = ParseView(req.body);
        const std::vector<Recording> visible = Visible(req, res);
        const auto it = std::find_if(visible.begin(), visible.end(),
                                     [&](const Recording& r) { return r.id == v.recording; });
        if (it == visible.end())
            Refuse(404, "no recording '" + v.recording + "' in this session", "recording");
        // The bridge serves one call at a time.
        ++waiting_;
        std::lock_guard lock(analysisMutex_);
        --waiting_;
        const Signal signal = Load(*it, v.channel);
        const Span span = Within(v.span, static_cast<double>(signal.samples.size()) / signal.rate,
                                 signal.rate / 2);
        AnalysisParams params = v.params;
        const std::string name = v.method->name;
        if (v.fit && (name == "stft" || name == "reassigned"))
            FitToSpan(span, signal.rate, PlotAreaOf(v.look.width, v.look.height), params);
        std::size_t first = 0;
        const Signal excerpt = Excerpt(signal, span, std::max(params.window, params.bins), first);
        // The Cohen-class kernels hold bins x samples values: past a budget
        // the span is refused, with the longest one that fits.
        constexpr double kKernelBudget = 1 << 25;
        if ((name == "cwd" || name == "cone") &&
            static_cast<double>(excerpt.samples.size()) * params.bins > kKernelBudget)
            Refuse(400,
                   name + " at " + std::to_string(params.bins) + " bins takes spans of at most " +
                       Fixed(kKernelBudget / params.bins / signal.rate, 2) +
                       " s; choose a shorter span or fewer bins",
                   "duration");
        Reference ref;
        Analyse(*v.method, excerpt, params, ref);
        const Graph whole = MakeGraph(ref, *v.method, excerpt, params, v.display, !draw);
        Picture p{Crop(whole, span, static_cast<double>(first) / signal.rate), v.look, {}};
        if (!draw) return p;
        p.png = DrawPng(MakeFigure(v.look, p.graph, Title(*v.method, params) + " of " + signal.name,
                                   Subtitle(signal, *v.method, params, v.display)));
        return p;
    }

    // The picture with what the page needs to read values under the pointer:
    // where the cells lie, their axes, and each cell's byte of the colour map.
    static json ViewJson(const Picture& p) {
        const Graph& g = p.graph;
        const PlotArea area = PlotAreaOf(p.look.width, p.look.height);
        return {
            {"png", Base64(p.png)},
            {"plot",
             {{"left", area.left},
              {"top", area.top},
              {"width", area.width},
              {"height", area.height}}},
            {"rows", g.rows},
            {"columns", g.columns},
            {"time", {{"offset", g.timeOffset}, {"step", g.timeStep}}},
            {"frequency", {{"offset", g.freqOffset}, {"step", g.freqStep}}},
            {"level", {{"offset", g.levelOffset}, {"step", g.levelStep}, {"decibel", g.decibel}}},
            {"cells", Base64({reinterpret_cast<const char*>(g.image.data()), g.image.size()})}};
    }

    ServeOptions options_;
    fs::path root_;
    std::string token_;
    std::vector<std::string> allowedHosts_;
    std::vector<Recording> shared_;
    std::mutex sessionsMutex_;
    std::map<std::string, Session> sessions_;
    std::mutex analysisMutex_;
    std::atomic<int> waiting_{0};
};

void OpenBrowser(const std::string& address) {
    const char* argv[] = {"xdg-open", address.c_str(), nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        std::fprintf(stderr,
                     "mornavel serve: cannot start a browser (xdg-open); open the address "
                     "by hand\n");
}

}  // namespace

int Serve(const ServeOptions& options) {
    // The signals that stop the server are taken by a thread of their own,
    // which stops it outside any signal handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/mornavel-serve.XXXXXX";
    if (!mkdtemp(folder.data()))
        Fail(kExitOutput, "cannot make a folder for the uploads in " + folder);
    const fs::path root = folder;
    struct RemoveAll {
        fs::path path;
        ~RemoveAll() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } removeUploads{root};

    App app(options, root);
    httplib::Server server;
    int port = options.port;
    if (port == 0) {
        port = server.bind_to_any_port(options.host);
        if (port < 0) Fail(kExitUsage, "cannot listen on " + options.host);
    } else if (!server.bind_to_port(options.host, port)) {
        Fail(kExitUsage, "cannot listen on " + options.host + ":" + std::to_string(port));
    }
    const std::string hostPort = options.host + ":" + std::to_string(port);
    app.Route(server, hostPort);

    const std::string address = "http://" + hostPort + "/?token=" + app.token();
    if (options.host != "127.0.0.1")
        std::printf(
            "mornavel serve: warning: listening on %s, beyond this machine: anyone who "
            "reaches it with the token reads and uploads recordings\n",
            options.host.c_str());
    std::printf("mornavel serve: open %s (Ctrl-C stops)\n", address.c_str());
    std::fflush(stdout);
    if (options.open) OpenBrowser(address);

    std::atomic<bool> signalled{false};
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        signalled = true;
        server.stop();
    });
    server.listen_after_bind();
    // Ended some other way than by a signal: wake the stopper with one.
    if (!signalled) pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return kExitOk;
}

}  // namespace front
