#pragma once
// A recording stand-in for the main window, for the install sequence's tests.

#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "sequence.h"

namespace installertest {

using installer::Answer;
using installer::Item;

// The main window as the install sequence drives it: every change it is told
// to make goes into `log` (the machine's, so that both interleave), message
// boxes take their answers from a queue, and the cancel flag is set by the test.
class RecordingView final : public installer::SequenceView {
  public:
    RecordingView(std::vector<std::string>& log, std::set<Item> checked, std::deque<Answer> answers)
        : log_(log), checked_(std::move(checked)), answers_(std::move(answers)) {}
    bool cancelled = false;

    bool Checked(Item item) override { return checked_.count(item) > 0; }
    void DisableItems() override { log_.push_back("disable items"); }
    void SetInstructions(const std::string& text,
                         std::optional<installer::TextRange> bold) override {
        log_.push_back("instructions: " + text +
                       (bold ? " [bold " + std::to_string(bold->start) + "+" +
                                   std::to_string(bold->length) + "]"
                             : ""));
    }
    void SetProgressText(const std::string& text) override { log_.push_back("progress: " + text); }
    void ShowProgressBar(bool visible) override {
        log_.push_back(visible ? "bar shown" : "bar hidden");
    }
    // Written only by the download, which the tests replace.
    void SetProgressRange(std::uint32_t) override {}
    void SetProgressPosition(std::uint32_t) override {}
    void SetCancelCaption(const std::string& caption) override {
        log_.push_back("cancel caption: " + caption);
    }
    void SetInstalledVersionLabel(const std::string& text) override {
        log_.push_back("label: " + text);
    }
    Answer ShowMessage(installer::MessageType type, installer::MessageButtons buttons,
                       const std::string& text) override {
        Answer answer = Answer::Cancel;
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected message: " << text;
        } else {
            answer = answers_.front();
            answers_.pop_front();
        }
        log_.push_back(
            std::string(type == installer::MessageType::Warning ? "warning" : "confirm") +
            (buttons == installer::MessageButtons::Ok ? " ok: " : " ok/cancel: ") + text +
            (answer == Answer::Ok ? " -> OK" : " -> Cancel"));
        return answer;
    }
    bool CancelRequested() override { return cancelled; }
    void CloseWindow() override { log_.push_back("close window"); }

  private:
    std::vector<std::string>& log_;
    std::set<Item> checked_;
    std::deque<Answer> answers_;
};

}  // namespace installertest
