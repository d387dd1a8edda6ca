#pragma once
/// Shared pieces of the tests that run the automatic setup procedure: a host that
/// records its log, questions, messages and buttons, and a document whose work-mode
/// switches pause briefly.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "autosetup/AutoSetup.h"
#include "diag/DeviceDoc.h"

namespace zefirel::test {

/// Records the procedure's log, messages and buttons; safe from any thread.
class CAutoSetupTestHost : public IAutoSetupHost {
public:
    std::atomic<bool> answer{true};
    std::atomic<bool> startEnabled{true};
    std::atomic<bool> stopEnabled{false};

    void addLogLine(const std::string& text) override {
        std::lock_guard<std::mutex> g(m_lock);
        m_lines.push_back(text);
    }
    bool askUser(const std::string& text) override {
        std::lock_guard<std::mutex> g(m_lock);
        m_questions.push_back(text);
        return answer.load();
    }
    void showMessage(const std::string& text) override {
        std::lock_guard<std::mutex> g(m_lock);
        m_messages.push_back(text);
    }
    void enableStart(bool on) override { startEnabled = on; }
    void enableStop(bool on) override { stopEnabled = on; }

    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_lines;
    }
    std::vector<std::string> messages() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_messages;
    }
    std::vector<std::string> questions() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_questions;
    }
    bool logged(const std::string& line) const {
        const auto l = lines();
        return std::find(l.begin(), l.end(), line) != l.end();
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines, m_messages, m_questions;
};

/// A document whose work-mode switches pause briefly instead of 500 ms.
class CQuickDoc : public CDeviceDoc {
public:
    using CDeviceDoc::CDeviceDoc;

protected:
    void pauseMs(int) override { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }
};

} // namespace zefirel::test
