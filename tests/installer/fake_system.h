#pragma once
// An in-memory computer for the installer's logic: files, folders, a registry
// with a 32-bit and (on a 64-bit system) a separate 64-bit view, installer
// databases and volume labels. Every change a caller asks for is recorded, and
// so is every operation of the install sequence, in order, with scripted
// answers for the ones that ask the machine or the user something.

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "ini_text.h"
#include "sequence.h"
#include "system.h"
#include "versions.h"

namespace installertest {

using installer::RegistryType;
using installer::RegistryValue;
using installer::RegistryView;

class FakeSystem final : public installer::InstallSystem {
  public:
    struct Value {
        RegistryType type = RegistryType::String;
        std::string text;
        bool operator==(const Value&) const = default;
    };
    struct Key {
        std::string path;                     // as created, for the subkey names' case
        std::map<std::string, Value> values;  // by lower-cased name
        bool operator==(const Key&) const = default;
    };
    using Hive = std::map<std::string, Key>;  // by lower-cased path

    std::string exePath = "C:\\Kits\\Tarvix 2.9.1\\setup.exe";
    std::optional<std::array<std::uint16_t, 4>> fileVersion;
    std::string localAppData = "C:\\Users\\me\\AppData\\Local";
    std::map<char, std::string> volumeLabels;
    bool is64BitSystem = false;
    std::vector<std::string> writes;  // every change and install operation asked for

    // ---- scripted answers of the install operations ----
    // Per program name, the answers of successive running checks; false after them.
    std::map<std::string, std::deque<bool>> processRunning;
    std::set<std::string> failingCopies;  // copy sources that fail
    bool downloadSucceeds = true;         // a successful download creates the target
    std::optional<std::string> windowsDirectory = "C:\\WINDOWS";
    std::string windowsDirectoryError;
    std::optional<std::string> browseChoice;                // nullopt: the user cancels the browser
    std::function<void(const std::string& program)> onRun;  // while a program "runs"

    // ---- building the machine ----
    void AddFile(const std::string& path, std::string content = {}) {
        files_[Normal(path)] = std::move(content);
        AddFolder(Parent(path));
    }
    void AddFolder(const std::string& path) {
        for (std::string folder = Normal(path); !folder.empty(); folder = Parent(folder)) {
            folders_.insert(folder);
            if (folder.size() <= 2) break;  // "c:"
        }
    }
    // An installer database with a ProductVersion property.
    void AddDatabase(const std::string& path, const std::string& productVersion) {
        AddFile(path, "database");
        databases_[Normal(path)] = productVersion;
    }
    void SetValue(RegistryView view, const std::string& path, const std::string& name,
                  std::string text, RegistryType type = RegistryType::String) {
        AddKey(view, path).values[installer::ToLowerAscii(name)] = {type, std::move(text)};
    }
    void SetValue(const std::string& path, const std::string& name, std::string text) {
        SetValue(RegistryView::Native32, path, name, std::move(text));
    }
    Key& AddKey(RegistryView view, const std::string& path) {
        Hive& hive = HiveOf(view);
        std::size_t at = 0;
        do {
            at = path.find('\\', at + 1);
            const std::string prefix = path.substr(0, at);
            hive.try_emplace(installer::ToLowerAscii(prefix), Key{prefix, {}});
        } while (at != std::string::npos);
        return hive[installer::ToLowerAscii(path)];
    }
    // The machine's whole state, to compare before and after.
    auto Snapshot() const { return std::tuple(files_, folders_, native_, wide_, databases_); }

    // ---- the interface ----
    std::string ExecutablePath() override { return exePath; }

    std::string ReadProfileString(const std::string& file, const std::string& section,
                                  const std::string& key) override {
        const auto found = files_.find(Normal(file));
        if (found == files_.end()) return {};
        return installer::IniText(found->second).Value(section, key);
    }

    RegistryValue ReadRegistryValue(RegistryView view, const std::string& path,
                                    const std::string& name) override {
        RegistryValue value;
        const Key* key = FindKey(view, path);
        if (!key) return value;
        value.keyOpened = true;
        const auto found = key->values.find(installer::ToLowerAscii(name));
        if (found == key->values.end()) return value;
        value.type = found->second.type;
        if (value.type == RegistryType::String || value.type == RegistryType::ExpandString) {
            value.text = found->second.text.substr(0, installer::kRegistryTextLimit);
        }
        return value;
    }

    std::optional<std::vector<std::string>> RegistrySubkeys(RegistryView view,
                                                            const std::string& path) override {
        const Key* key = FindKey(view, path);
        if (!key) return std::nullopt;
        const std::string prefix = installer::ToLowerAscii(path) + "\\";
        std::vector<std::string> names;
        for (const auto& [lower, child] : HiveOf(view)) {
            if (lower.compare(0, prefix.size(), prefix) == 0 &&
                lower.find('\\', prefix.size()) == std::string::npos) {
                names.push_back(child.path.substr(prefix.size()));
            }
        }
        return names;
    }

    std::optional<std::string> DatabaseProductVersion(const std::string& path) override {
        const auto found = databases_.find(Normal(path));
        if (found == databases_.end()) return std::nullopt;  // missing or not a database
        return found->second.substr(0, installer::kShortTextLimit);
    }

    std::string VolumeLabel(char letter) override {
        const auto found = volumeLabels.find(letter);
        return found == volumeLabels.end() ? std::string() : found->second;
    }

    std::optional<std::array<std::uint16_t, 4>> FileVersion(const std::string&) override {
        return fileVersion;
    }
    std::string LocalAppDataFolder() override { return localAppData; }
    bool DirectoryExists(const std::string& path) override {
        return folders_.count(Normal(path)) > 0;
    }
    bool FileExists(const std::string& path) override { return files_.count(Normal(path)) > 0; }

    bool DeleteRegistryTree(const std::string& path) override {
        writes.push_back("delete key " + path);
        return false;
    }
    bool DeleteFileAt(const std::string& path) override {
        writes.push_back("delete file " + path);
        return false;
    }

    void RunAndWait(const std::string& verb, const std::string& program,
                    const std::string& parameters, const std::string& folder, int show) override {
        // Every start opens with a normal window; anything else shows in the log.
        const bool usual = verb == "open" && show == installer::kShowNormal;
        writes.push_back((usual ? "run " : "run " + verb + "/" + std::to_string(show) + " ") +
                         program + " | " + parameters + " | " + folder);
        if (onRun) onRun(program);
    }
    bool IsProcessRunning(const std::string& name) override {
        auto& answers = processRunning[name];
        const bool running = !answers.empty() && answers.front();
        if (!answers.empty()) answers.pop_front();
        writes.push_back("running? " + name + (running ? " yes" : " no"));
        return running;
    }
    void Pause(int milliseconds) override {
        writes.push_back("pause " + std::to_string(milliseconds));
    }
    bool CopyFiles(const std::string& source, const std::string& destination) override {
        const bool copied = failingCopies.count(source) == 0;
        writes.push_back("copy " + source + " -> " + destination + (copied ? "" : " FAILS"));
        return copied;
    }
    bool DownloadFile(const std::string& url, const std::string& target) override {
        writes.push_back("download " + url + " -> " + target + (downloadSucceeds ? "" : " FAILS"));
        if (downloadSucceeds) AddFile(target, "installer");
        return downloadSucceeds;
    }
    std::optional<std::string> WindowsDirectory(std::string& error) override {
        writes.push_back("windows directory");
        if (!windowsDirectory) error = windowsDirectoryError;
        return windowsDirectory;
    }
    bool DeleteProtectedKey(const std::string& path) override {
        writes.push_back("delete protected key " + path);
        return false;
    }
    bool BrowseForFolder(const std::string& title, std::string& folder) override {
        writes.push_back("browse \"" + title + "\" -> " + browseChoice.value_or("cancelled"));
        folder = browseChoice.value_or("");
        return browseChoice.has_value();
    }
    bool RenameFile(const std::string& from, const std::string& to) override {
        writes.push_back("rename " + from + " -> " + to);
        return false;
    }
    bool WriteRegistryStrings(
        RegistryView view, const std::string& path,
        const std::vector<std::pair<std::string, std::string>>& values) override {
        std::string line =
            std::string("write ") + (view == RegistryView::Wow64_64 ? "64:" : "32:") + path;
        for (const auto& [name, text] : values) line += " " + name + "=" + text;
        writes.push_back(line);
        return FindKey(view, path) != nullptr;
    }

  private:
    // File names as Windows compares them: any case, separators doubled or not,
    // a folder with or without its trailing backslash.
    static std::string Normal(const std::string& path) {
        std::string normal;
        for (char c : installer::ToLowerAscii(path)) {
            if (c == '/') c = '\\';
            if (c == '\\' && !normal.empty() && normal.back() == '\\') continue;
            normal.push_back(c);
        }
        while (!normal.empty() && normal.back() == '\\') normal.pop_back();
        return normal;
    }
    static std::string Parent(const std::string& path) {
        const std::string normal = Normal(path);
        const std::size_t at = normal.find_last_of('\\');
        return at == std::string::npos ? std::string() : normal.substr(0, at);
    }
    // A 32-bit system has one registry: the 64-bit flag changes nothing there.
    Hive& HiveOf(RegistryView view) {
        return view == RegistryView::Wow64_64 && is64BitSystem ? wide_ : native_;
    }
    const Key* FindKey(RegistryView view, const std::string& path) {
        const Hive& hive = HiveOf(view);
        const auto found = hive.find(installer::ToLowerAscii(path));
        return found == hive.end() ? nullptr : &found->second;
    }

    std::map<std::string, std::string> files_;
    std::set<std::string> folders_;
    Hive native_, wide_;
    std::map<std::string, std::string> databases_;
};

}  // namespace installertest
