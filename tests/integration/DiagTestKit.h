#pragma once
/// Shared pieces of the diagnostic tests over a pseudo-terminal: a host that may be
/// called from the polling thread, a scripted controller whose diagnostic answers
/// a test decides request by request, and a document connected to it.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "diag/DeviceDoc.h"
#include "diag/Diag.h"
#include "link/Host.h"
#include "support/ScriptedController.h"
#include "support/TestDevice.h"

namespace zefirel::test {

/// Records what the core asks of its host; safe to call from any thread.
class CThreadSafeHost : public ILPGHost {
public:
    std::atomic<bool> carDataAnswer{false};
    std::atomic<int> carDataAsked{0};
    std::atomic<int> ended{0};

    EMsgResult showMessage(const std::string& text, const std::string&, EMsgStyle style) override {
        std::lock_guard<std::mutex> g(m_lock);
        m_messages.push_back(text);
        return style == EMsgStyle::Question ? EMsgResult::Yes : EMsgResult::Ok;
    }
    void startTimer(int id, int periodMs) override {
        std::lock_guard<std::mutex> g(m_lock);
        m_timers.emplace_back(id, periodMs);
    }
    void diagnosticsEnded(uint64_t) override { ++ended; }
    void showWait(const std::string& text) override {
        std::lock_guard<std::mutex> g(m_lock);
        m_waits.push_back(text);
    }
    bool askCarData(CSettingsBlock&) override {
        ++carDataAsked;
        return carDataAnswer.load();
    }
    std::vector<std::string> messages() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_messages;
    }
    std::vector<std::pair<int, int>> timers() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_timers;
    }
    std::vector<std::string> waits() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_waits;
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_messages;
    std::vector<std::pair<int, int>> m_timers;
    std::vector<std::string> m_waits;
};

/// A scripted controller whose diagnostic answers come from diagScript: given the
/// number of the diagnostic request (1, 2, ...) and the injector asked for, it
/// returns the 30-byte payload in host order, or an empty vector to refuse the
/// request (the poll fails at once). Without a script every request gets a sample
/// whose auxTime is the request number.
class CDiagController : public CScriptedController {
public:
    using Script = std::function<std::vector<uint8_t>(int request, int injector)>;

    void setScript(Script s) {
        std::lock_guard<std::mutex> g(m_scriptLock);
        m_script = std::move(s);
    }
    int diagRequests() const { return m_requests.load(); }

    CPtyPeer::Handler diagHandler() {
        return [this](uint8_t type, const std::vector<uint8_t>& p) {
            if (type == MSG_TYPE_COMMAND && p.size() >= 4 && p[0] == CMD_DIAG)
                return answer(getU16(&p[2]) + 1);
            return handle(type, p);
        };
    }

    /// A plain sample payload in the standard layout.
    static std::vector<uint8_t> payload(int request, uint8_t workState = 3) {
        std::vector<uint8_t> r(30, 0);
        r[0] = workState;
        setU16(&r[10], 4800);                                  // rpmPeriod
        setU16(&r[12], static_cast<uint16_t>(request));        // auxTime
        setU16(&r[14], 4800);                                  // sub 0 period
        setU16(&r[16], static_cast<uint16_t>(100 + request));  // sub 0 petrol time
        return r;
    }

private:
    std::vector<uint8_t> answer(int injector) {
        Script script;
        {
            std::lock_guard<std::mutex> g(m_scriptLock);
            script = m_script;
        }
        const int n = ++m_requests;
        const std::vector<uint8_t> p = script ? script(n, injector) : payload(n);
        if (p.empty())
            return refusal();
        return CPtyPeer::frame(MSG_TYPE_DIAG, p, CDiag::extendedLayout());
    }

    std::mutex m_scriptLock; ///< guards m_script, which the peer's thread copies per request
    Script m_script;
    std::atomic<int> m_requests{0};
};

/// Waits until pred holds; false after timeoutMs.
inline bool waitFor(const std::function<bool()>& pred, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

/// A document connected to a scripted controller, its recordings in a scratch
/// folder; diagnostics are stopped and the thread awaited after each test.
class ScriptedDoc : public ::testing::Test {
protected:
    void SetUp() override {
        CDiag::setExtendedLayout(false);
        ASSERT_TRUE(doc.connectPath(peer.slavePath()));
    }
    void TearDown() override {
        doc.stopDiagnostics();
        EXPECT_TRUE(doc.waitInputThread(3000));
    }
    std::string file(const std::string& name) const { return scratch.path() + "/" + name; }
    /// Every sample in the store.
    std::vector<CDiag> stored() {
        std::vector<CDiag> out;
        doc.diagData().getRange(out, 0, doc.diagData().count());
        return out;
    }
    /// Starts diagnostics into path and waits for at least n samples.
    void pollSome(const std::string& path, int n) {
        doc.startDiagnostics(path);
        ASSERT_TRUE(waitFor([&] { return doc.diagData().count() >= n; }));
    }
    /// Polls at least n samples into path, then stops and waits for the thread.
    void pollAndStop(const std::string& path, int n) {
        pollSome(path, n);
        doc.stopDiagnostics();
        ASSERT_TRUE(doc.waitInputThread(3000));
    }

    CScratchFolder scratch;
    CThreadSafeHost host;
    CDiagController ctl;
    CPtyPeer peer{ctl.diagHandler()};
    CDeviceDoc doc{&host};
};

} // namespace zefirel::test
