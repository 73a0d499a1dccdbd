// Malformed input, generated from a fixed seed: the INI reader and the version
// rules neither crash nor read out of bounds (run under the sanitizers), and
// keep the properties that hold for any text.

#include <gtest/gtest.h>

#include <random>

#include "ini_text.h"
#include "kit_fixture.h"
#include "versions.h"

namespace installertest {
namespace {

class Garbage {
  public:
    explicit Garbage(unsigned seed) : random_(seed) {}

    // Text made mostly of the characters that INI files and versions give meaning to.
    std::string Text(std::size_t maxLength) {
        static constexpr char kAlphabet[] = "0123456789....[]]==%%;\"' \t\r\n\\OX-VISA abc\x80\xff";
        std::string text(Below(maxLength + 1), ' ');
        for (char& c : text)
            c = Below(8) == 0 ? static_cast<char>(Below(256))
                              : kAlphabet[Below(sizeof kAlphabet - 1)];
        return text;
    }
    // A valid text with a few characters replaced, inserted or deleted.
    std::string Mutate(std::string text) {
        for (std::size_t n = Below(8); n > 0; --n) {
            const std::size_t at = Below(text.size() + 1);
            switch (Below(3)) {
                case 0:
                    if (at < text.size()) text[at] = Text(1).append(" ")[0];
                    break;
                case 1:
                    text.insert(at, Text(12));
                    break;
                default:
                    text.erase(at, Below(12));
            }
        }
        return text;
    }
    std::size_t Below(std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_);
    }

  private:
    std::mt19937 random_;
};

TEST(Fuzz, VersionRulesHoldForAnyText) {
    Garbage garbage(20261208);
    for (int i = 0; i < 4000; ++i) {
        const std::string text = i % 2 ? garbage.Text(40) : garbage.Mutate("OX-VISA 4.4.1");
        const installer::FirstNumber n = installer::ParseFirstNumber(text);
        ASSERT_LE(n.end, text.size() + 1);
        ASSERT_EQ(n.found, n.value >= 0);
        if (n.end == 0) {
            ASSERT_EQ(n.value, -1);
        }
        ASSERT_LE(installer::RemainderAfter(text, n).size(), text.size());
        ASSERT_GE(installer::VersionNumber(text), 0);
        // Equal versions satisfy each other, whatever they look like.
        ASSERT_TRUE(installer::RuntimeVersionSatisfies(text, text)) << text;
        ASSERT_TRUE(installer::FindVisaAtLeast({"OX-VISA " + text}, "OX-VISA " + text)) << text;
        const installer::StrippedText s = installer::StripPercentMarks(text);
        ASSERT_EQ(s.text.size() + (s.stripped ? 2 : 0), text.size());
        if (n.found) {
            std::string digits = installer::VersionFromDigits(n.value);
            std::erase(digits, '.');
            ASSERT_EQ(digits, std::to_string(n.value));
        }
    }
}

TEST(Fuzz, IniReaderAndDetectionSurviveMalformedKits) {
    Garbage garbage(4711);
    const std::string valid = KitIni("update");
    const char* keys[][2] = {{"Setup", "InstallerType"},
                             {"InstallTQApp", "InstallDisplayName"},
                             {"InstallLMRT", "VersionRequired"},
                             {"TarvanoInstaller", "Version"}};
    for (int i = 0; i < 1500; ++i) {
        std::string ini = i % 3 ? garbage.Mutate(valid) : garbage.Text(600);
        if (i % 50 == 0) ini += "[Setup]\nURLUpdate=" + std::string(70000, 'u') + "\n";
        const installer::IniText reader(ini);
        for (const auto& [section, key] : keys) {
            ASSERT_LE(reader.Value(section, key).size(), installer::kProfileValueLimit);
        }
        ASSERT_LE(reader.Value(garbage.Text(6), garbage.Text(6)).size(),
                  installer::kProfileValueLimit);

        // The whole start-up on that INI file and a mangled INF and database.
        FakeSystem fake;
        MakeMachine(fake, garbage.Mutate("6.1"), i % 2 ? "AMD64" : "x86");
        MakeKit(fake, "", garbage.Mutate("2.9.1"));
        fake.AddFile(kIniPath, ini);
        fake.AddFile(std::string(kKitFolder) + "Drivers\\TQ510A\\vista\\tq510a.inf",
                     garbage.Mutate(TQ510AInf()));
        InstallApplication(fake, garbage.Mutate("2.8.0"));
        InstallRuntime(fake, garbage.Text(10));
        const Outcome outcome = LoadAndDetect(fake);
        ASSERT_LE(outcome.loaded.config.urlUpdate.size(), installer::kProfileValueLimit);
        ASSERT_GE(outcome.detection.install.availableVersionNumber, -1);
        ASSERT_TRUE(fake.writes.empty());
    }
}

}  // namespace
}  // namespace installertest
