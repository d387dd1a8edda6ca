#pragma once
/// The host interface: everything the core needs from whoever drives it (the
/// windowed program, the command-line client, a test). The core never shows a
/// window itself; where an operation shows a message, the wait window, the status
/// bar or asks for car data, it calls this interface.
///
/// Calls may come from worker threads (the diagnostic thread starts the reconnect
/// timer); a windowed implementation marshals them to its GUI thread.

#include <cstdint>
#include <string>

namespace zefirel {

class CSettingsBlock;

enum class EMsgStyle { Plain, Error, Info, Question };
enum class EMsgResult { Ok, Yes, No, Cancel };

/// Caption of every message box.
inline constexpr const char* APP_CAPTION = "Zefirel";

class ILPGHost {
public:
    virtual ~ILPGHost() = default;

    /// Shows a modal message and returns the button pressed.
    virtual EMsgResult showMessage(const std::string& text, const std::string& caption, EMsgStyle style) = 0;
    /// Removes the three device menus (the one at position 2, three times).
    virtual void removeDeviceMenus() {}
    /// Status bar: connection pane ("Połączony"/"Brak połączenia").
    virtual void showConnection(bool /*connected*/) {}
    /// Status bar: error indicator ("Błąd").
    virtual void showError(bool /*on*/) {}
    /// Status bar: progress bar position 0..100.
    virtual void setProgress(int /*percent*/) {}
    /// Shows the modeless wait window with a text; closeWait() closes it.
    virtual void showWait(const std::string& /*text*/) {}
    /// Shows the wait window of an operation that the user may cancel (it offers
    /// "Anuluj"); pumpEvents() reports the cancel. closeWait() closes it.
    virtual void showCancellableWait(const std::string& text) { showWait(text); }
    virtual void closeWait() {}
    /// Lets pending user-interface work run during a wait. Returns false when the
    /// user asked to cancel the wait.
    virtual bool pumpEvents() { return true; }
    /// Asks for the car and installation data (the car information dialog) and
    /// writes them into the block. Returns false when the user cancelled.
    virtual bool askCarData(CSettingsBlock& /*block*/) { return false; }
    /// Tells the live panel that new settings were written to the controller.
    virtual void settingsWritten() {}
    /// Starts a timer on the live panel (the reconnect timer 5006).
    virtual void startTimer(int /*id*/, int /*periodMs*/) {}
    /// A reconnect attempt on a worker thread ended (connected or not).
    virtual void reconnectEnded(bool /*connected*/) {}
    /// Diagnostics ended on their own (the polling thread of the given run stopped).
    /// A windowed host that queues this drops it when a newer run has begun by then.
    virtual void diagnosticsEnded(uint64_t /*run*/) {}
};

/// A host that shows nothing and answers every question with its default.
class CNullHost : public ILPGHost {
public:
    EMsgResult showMessage(const std::string&, const std::string&, EMsgStyle style) override {
        return style == EMsgStyle::Question ? EMsgResult::No : EMsgResult::Ok;
    }
};

} // namespace zefirel
