// The service host's window side for tests: answers like a user would, and remembers what it
// was shown and asked.
#pragma once

#include "support/host_ui.h"

#include <string>
#include <vector>

namespace orvanta::test {

class RecordingUi : public IServiceHostUi {
public:
    void ShowHostMessage(const std::string& text) override { messages.push_back(text); }
    bool HasMainWindow() override { return true; }
    Answer AskYesNoCancel(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    void EnableWindows(bool enable) override { events.push_back(enable ? "enable" : "disable"); }
    void PumpMessages() override {}

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::string> events;
    Answer answer = kAnswerNo;
};

}  // namespace orvanta::test
