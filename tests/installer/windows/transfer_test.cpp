// Downloads from an HTTP server on loopback inside this program, and the shell's
// folder browser driven from a second thread.

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <shlobj.h>
// clang-format on

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "win32_transfer.h"

namespace installertest {
namespace {

// Answers each connection with the response its first path segment names.
class LoopbackServer {
  public:
    explicit LoopbackServer(std::map<std::string, std::string> responses)
        : responses_(std::move(responses)) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        listen(listener_, 4);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LoopbackServer() {
        closesocket(listener_);  // ends the accept loop
        thread_.join();
        WSACleanup();
    }
    unsigned port() const { return port_; }

  private:
    void Serve() {
        for (SOCKET client; (client = accept(listener_, nullptr, nullptr)) != INVALID_SOCKET;) {
            std::string request;
            char buffer[512];
            for (int n; request.find("\r\n\r\n") == std::string::npos &&
                        (n = recv(client, buffer, sizeof buffer, 0)) > 0;) {
                request.append(buffer, n);
            }
            const std::size_t start = request.find('/') + 1;
            const auto found =
                responses_.find(request.substr(start, request.find('/', start) - start));
            const std::string& response =
                found == responses_.end() ? responses_[""] : found->second;
            send(client, response.data(), static_cast<int>(response.size()), 0);
            shutdown(client, SD_SEND);
            while (recv(client, buffer, sizeof buffer, 0) > 0) {
            }
            closesocket(client);
        }
    }

    std::map<std::string, std::string> responses_;
    SOCKET listener_;
    unsigned port_ = 0;
    std::thread thread_;
};

class RecordingView : public installer::SequenceView {
  public:
    explicit RecordingView(std::size_t cancelAfter) : cancelAfter_(cancelAfter) {}
    bool Checked(installer::Item) override { return false; }
    void DisableItems() override {}
    void SetInstructions(const std::string&, std::optional<installer::TextRange>) override {}
    void SetProgressText(const std::string& text) override { texts.push_back(text); }
    void ShowProgressBar(bool) override {}
    void SetProgressRange(std::uint32_t maximum) override { range = maximum; }
    void SetProgressPosition(std::uint32_t position) override { positions.push_back(position); }
    void SetCancelCaption(const std::string&) override {}
    void SetInstalledVersionLabel(const std::string&) override {}
    installer::Answer ShowMessage(installer::MessageType, installer::MessageButtons,
                                  const std::string&) override {
        return installer::Answer::Ok;
    }
    bool CancelRequested() override { return cancelAfter_ != 0 && texts.size() >= cancelAfter_; }
    void CloseWindow() override {}

    std::uint32_t range = 0;
    std::vector<std::uint32_t> positions;
    std::vector<std::string> texts;

  private:
    std::size_t cancelAfter_;
};

std::string TempPath() {
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, path);
    return path;
}

std::string Kilobytes(int count) {
    return "Downloading Lumavise Runtime, " + std::to_string(count) + " kB remaining...";
}

TEST(DownloadFile, SavesWholeResponsesAndLeavesNothingOfFailedOnes) {
    std::string body(5000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 % 251);
    const std::string ok = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
    LoopbackServer server({
        {"full", ok + "Content-Length: 5000\r\n\r\n" + body},
        {"truncated", ok + "Content-Length: 5000\r\n\r\n" + body.substr(0, 3000)},
        {"unannounced", ok + "\r\n" + body},
        {"", "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found"},
    });
    // A port that was free a moment ago and has no listener now.
    std::string closed;
    {
        LoopbackServer gone({});
        closed = "http://127.0.0.1:" + std::to_string(gone.port()) + "/";
    }
    const std::string live = "http://127.0.0.1:" + std::to_string(server.port()) + "/";
    const std::string temp = TempPath();
    const struct {
        std::string url, target;
        std::size_t cancelAfter;
        bool succeeds;
        std::vector<int> kilobytes;  // the progress texts' counts, checked when given
    } cases[] = {
        {live + "full/a", "whole.bin", 0, true, {3, 2, 1, 0, 0, 0}},
        {live + "unannounced/a", "unannounced.bin", 0, true, {}},
        {live + "truncated/a", "truncated.bin", 0, false, {}},
        {live + "missing/a", "missing.bin", 0, false, {}},
        {closed + "full/b", "closed.bin", 0, false, {}},
        {live + "full/c", "cancelled.bin", 1, false, {3}},
        {live + "full/d", "no-such-folder\\x.bin", 0, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const std::string target = temp + c.target;
        RecordingView view(c.cancelAfter);
        EXPECT_EQ(installer::DownloadFile(c.url, target, view), c.succeeds);
        std::vector<std::string> texts;
        for (int count : c.kilobytes) texts.push_back(Kilobytes(count));
        if (!texts.empty()) {
            EXPECT_EQ(view.texts, texts);
        }
        std::ifstream saved(target, std::ios::binary);
        if (!c.succeeds) {
            EXPECT_FALSE(saved.is_open()) << "a failed download leaves no file";
            continue;
        }
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), body);
        ASSERT_FALSE(view.texts.empty());
        EXPECT_EQ(view.texts.back(), Kilobytes(0));
        EXPECT_EQ(view.positions.back(), view.range);
        saved.close();
        DeleteFileA(target.c_str());
    }
}

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (process != GetCurrentProcessId() || std::string(name) != "#32770") return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// Finds this process's dialog and answers it: with `choice` selected and OK,
// or Cancel when `choice` is empty. Gives up when the browser has returned.
void AnswerBrowser(const std::string& choice, const std::atomic<bool>& returned,
                   std::atomic<bool>& answered) {
    for (int tries = 0; tries < 3000 && !returned && !answered; ++tries, Sleep(10)) {
        HWND found = nullptr;
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&found));
        if (!found) continue;
        if (!choice.empty()) {
            SendMessageA(found, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(choice.c_str()));
        }
        PostMessageA(found, WM_COMMAND, choice.empty() ? IDCANCEL : IDOK, 0);
        answered = true;
    }
}

TEST(BrowseForFolder, ReturnsTheConfirmedFolderAndNothingOnCancel) {
    const HWND probe =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!probe) GTEST_SKIP() << "no display: windows cannot be created here";
    DestroyWindow(probe);
    const std::string temp = TempPath();
    const std::string chosen = temp.substr(0, temp.size() - 1);
    for (const std::string& choice : {std::string(), chosen}) {
        SCOPED_TRACE(choice.empty() ? "cancel" : "confirm");
        std::atomic<bool> returned = false;
        std::atomic<bool> answered = false;
        std::thread answerer(AnswerBrowser, choice, std::cref(returned), std::ref(answered));
        std::string folder = "stale";
        const bool result = installer::BrowseForFolder(nullptr, "Locate the folder", folder);
        returned = true;
        answerer.join();
        ASSERT_TRUE(answered) << "the browser dialog was not found";
        EXPECT_EQ(result, !choice.empty());
        EXPECT_EQ(folder, choice);
    }
}

}  // namespace
}  // namespace installertest
