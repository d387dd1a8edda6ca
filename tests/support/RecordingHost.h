#pragma once
/// CRecordingHost: an ILPGHost for tests that records every call the core makes
/// (messages, menu removal, status bar, wait window, progress) and answers the
/// questions it asks from fields the test sets.

#include <string>
#include <vector>

#include "link/Host.h"
#include "link/SettingsBlock.h"

namespace zefirel::test {

struct RecordedMessage {
    std::string text;
    std::string caption;
    EMsgStyle style = EMsgStyle::Plain;
};

class CRecordingHost : public ILPGHost {
public:
    // Answers.
    bool carDataAnswer = false;   ///< what askCarData reports
    int cancelAfterPumps = -1;    ///< pumpEvents returns false from this call on (-1 = never)

    // Records.
    std::vector<RecordedMessage> messages;
    int menusRemoved = 0;
    std::vector<bool> connections;
    std::vector<bool> errorIndicator;
    std::vector<int> progress;
    std::vector<std::string> waits;
    int waitsClosed = 0;
    int pumps = 0;
    int carDataAsked = 0;
    int settingsWrittenCount = 0;

    EMsgResult showMessage(const std::string& text, const std::string& caption, EMsgStyle style) override {
        messages.push_back({text, caption, style});
        return style == EMsgStyle::Question ? EMsgResult::Yes : EMsgResult::Ok;
    }
    void removeDeviceMenus() override { ++menusRemoved; }
    void showConnection(bool connected) override { connections.push_back(connected); }
    void showError(bool on) override { errorIndicator.push_back(on); }
    void setProgress(int percent) override { progress.push_back(percent); }
    void showWait(const std::string& text) override { waits.push_back(text); }
    void closeWait() override { ++waitsClosed; }
    bool pumpEvents() override {
        ++pumps;
        return cancelAfterPumps < 0 || pumps < cancelAfterPumps;
    }
    bool askCarData(CSettingsBlock&) override {
        ++carDataAsked;
        return carDataAnswer;
    }
    void settingsWritten() override { ++settingsWrittenCount; }
};

} // namespace zefirel::test
