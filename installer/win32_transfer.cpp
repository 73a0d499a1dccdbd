#include "win32_transfer.h"

// clang-format off
#include <wininet.h>
#include <shlobj.h>
// clang-format on

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>

#include "commands.h"

namespace installer {
namespace {

struct InternetCloser {
    void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetCloser>;

// The agent name servers see: the installer's own file name.
std::string AgentName() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string full(path, std::min<DWORD>(length, MAX_PATH));
    const std::size_t slash = full.find_last_of("\\/");
    return slash == std::string::npos ? full : full.substr(slash + 1);
}

bool IsHttpRequest(HINTERNET request) {
    DWORD type = 0;
    DWORD size = sizeof type;
    return InternetQueryOptionA(request, INTERNET_OPTION_HANDLE_TYPE, &type, &size) &&
           type == INTERNET_HANDLE_TYPE_HTTP_REQUEST;
}

// An HTTP header as text; nullopt when the response does not carry it.
std::optional<std::string> HttpHeader(HINTERNET request, DWORD query) {
    char text[64] = {};
    DWORD size = sizeof text;
    DWORD index = 0;
    if (!HttpQueryInfoA(request, query, text, &size, &index)) return std::nullopt;
    return std::string(text, std::min<DWORD>(size, sizeof text));
}

// The size the server announces: Content-Length, or nullopt without one.
std::optional<std::uint64_t> AnnouncedLength(HINTERNET request) {
    const std::optional<std::string> header = HttpHeader(request, HTTP_QUERY_CONTENT_LENGTH);
    if (!header || header->empty()) return std::nullopt;
    char* end = nullptr;
    const unsigned long long length = std::strtoull(header->c_str(), &end, 10);
    if (*end != '\0') return std::nullopt;
    return length;
}

std::uint32_t ClampTo32(std::uint64_t value) {
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

// Copies the response into `file` chunk by chunk, showing the progress. True
// when the data ended normally; false on a read or write error or a cancel.
bool ReceiveInto(HINTERNET request, HANDLE file, std::uint64_t& received, DownloadProgress progress,
                 SequenceView& view) {
    char chunk[1024];
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request, chunk, sizeof chunk, &read)) return false;
        DWORD written = 0;
        if (read > 0 && (!WriteFile(file, chunk, read, &written, nullptr) || written != read)) {
            return false;
        }
        received += read;
        progress.received = ClampTo32(received);
        view.SetProgressPosition(progress.Position());
        view.SetProgressText(progress.Text());
        if (view.CancelRequested()) return false;
        if (read == 0) return true;
    }
}

}  // namespace

bool DownloadFile(const std::string& url, const std::string& target, SequenceView& view) {
    const std::string agent = AgentName();
    const InternetHandle session(InternetOpenA(agent.c_str(), 0, nullptr, nullptr, 0));
    if (!session) return false;
    const InternetHandle request(InternetOpenUrlA(session.get(), url.c_str(), nullptr, 0, 0, 0));
    if (!request) return false;

    // An error page is not the file asked for.
    std::optional<std::uint64_t> announced;
    if (IsHttpRequest(request.get())) {
        if (HttpHeader(request.get(), HTTP_QUERY_STATUS_CODE) != "200") return false;
        announced = AnnouncedLength(request.get());
    }
    std::uint64_t expected = 0;
    if (announced) {
        expected = *announced;
    } else {
        // Without an announcement only what has arrived so far is known; the
        // count then stops at 0 and the bar at its end until the data ends.
        DWORD available = 0;
        if (InternetQueryDataAvailable(request.get(), &available, 0, 0)) expected = available;
    }

    const HANDLE file = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;

    DownloadProgress progress;
    progress.expected = ClampTo32(expected);
    view.SetProgressRange(progress.expected);
    std::uint64_t received = 0;
    const bool ended = ReceiveInto(request.get(), file, received, progress, view);
    const bool closed = CloseHandle(file) != 0;
    // A connection that closes early ends like the end of data; only the
    // announced length tells a truncated file from a whole one.
    if (ended && closed && (!announced || received == *announced)) return true;
    DeleteFileA(target.c_str());
    return false;
}

bool BrowseForFolder(HWND owner, const std::string& title, std::string& folder) {
    folder.clear();
    // The browser is a shell object; it needs COM on this thread. Already
    // initialised is fine (S_FALSE, balanced below); another mode is left as
    // it is.
    const HRESULT com = CoInitialize(nullptr);
    BROWSEINFOA info = {};
    char displayName[MAX_PATH] = {};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;  // the desktop
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    const PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&info);
    if (item) {
        char path[MAX_PATH] = {};
        if (SHGetPathFromIDListA(item, path)) folder = path;
        CoTaskMemFree(item);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return !folder.empty();
}

}  // namespace installer
