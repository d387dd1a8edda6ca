#pragma once
// Shared pieces of the windowed program's tests: a virtual controller served on a
// pseudo-terminal inside the test process, a scratch home for the program's
// folders, serial ports 2..7 pointed at nothing, recorded message boxes, scripted
// file dialogs, and the whole program started on top of them.

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <ostream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "SimController.h"
#include "SimServer.h"
#include "diag/DeviceDoc.h"
#include "support/Preferences.h"
#include "support/QtApp.h"
#include "support/TestDevice.h"
#include "ui/app/Commands.h"
#include "ui/app/LPGBar.h"
#include "ui/app/MainFrm.h"
#include "ui/app/Zefirel.h"
#include "ui/diag/DeviceDocUi.h"
#include "ui/support/MsgHelper.h"

QT_BEGIN_NAMESPACE
/// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QColor& c, std::ostream* os) { *os << c.name().toStdString(); }
QT_END_NAMESPACE

namespace zefirel::test {

/// Runs the event loop until pred() holds or timeoutMs pass; returns pred().
inline bool waitUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

/// The colour that covers most of a widget as it is drawn: its background.
inline QColor shownColour(QWidget* w) {
    const QImage img = w->grab().toImage();
    std::map<QRgb, int> count;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) ++count[img.pixel(x, y)];
    if (count.empty()) return QColor();
    return QColor(std::max_element(count.begin(), count.end(), [](auto& a, auto& b) { return a.second < b.second; })->first);
}

/// The status colours as they must appear on screen.
inline const QColor SHOWN_GREEN{0, 255, 0};
inline const QColor SHOWN_RED{255, 0, 0};
inline const QColor SHOWN_YELLOW{255, 255, 0};
inline const QColor SHOWN_GREY{0x7D, 0x7D, 0x7D};

/// Runs the event loop for ms milliseconds.
inline void pump(int ms) {
    waitUntil([] { return false; }, ms);
}

/// Closes the next modal dialog that opens, after handing it to inspect().
inline void onNextModal(std::function<void(QWidget*)> inspect) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, inspect] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            inspect(w);
        }
    });
    timer->start();
}

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtApp();
        ASSERT_FALSE(m_home.path().empty());
        ::setenv("XDG_DATA_HOME", (m_home.path() + "/data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_home.path() + "/config").c_str(), 1);
        for (int n = 1; n <= 7; ++n)
            ::setenv(("ZEFIREL_COM" + std::to_string(n)).c_str(), (m_home.path() + "/no-port").c_str(), 1);
        setMessageInterceptor([this](const ShownMessage& m) {
            std::lock_guard<std::mutex> g(m_lock);
            m_messages.push_back(m);
            return m.style == EMsgStyle::Question ? EMsgResult::Yes : EMsgResult::Ok;
        });
        CDeviceDocUi::setFileChooser([this](bool save, const QString& folder, const QString& filter,
                                            const QString& suffix) {
            m_dialogs.push_back({save, folder, filter, suffix});
            return m_nextFile;
        });
    }

    void TearDown() override {
        m_app.reset();
        if (m_server) m_server->stop();
        m_server.reset();
        m_controller.reset();
        setMessageInterceptor({});
        CDeviceDocUi::setFileChooser({});
        for (int n = 1; n <= 7; ++n) ::unsetenv(("ZEFIREL_COM" + std::to_string(n)).c_str());
    }

    /// Serves a virtual controller and maps port 1 to it.
    void startSimulator(const sim::SimConfig& cfg = sim::SimConfig()) {
        m_controller = std::make_unique<sim::CSimController>(cfg);
        m_server = std::make_unique<sim::CSimServer>(*m_controller, cfg);
        std::string error;
        ASSERT_TRUE(m_server->open(error)) << error;
        m_server->start();
        ::setenv("ZEFIREL_COM1", m_server->slavePath().c_str(), 1);
    }

    /// Starts the program (main window, document, connection, diagnostics).
    void startProgram() {
        m_app = std::make_unique<CZefirel>(&m_prefs);
        ASSERT_TRUE(m_app->initInstance(true));
    }

    /// The program on a simulator with diagnostics switched off, so that nothing but
    /// the command under test talks to the controller.
    void startWithoutDiagnostics(const sim::SimConfig& cfg = sim::SimConfig()) {
        startSimulator(cfg);
        startProgram();
        m_app->mainFrame()->action(ID_DIAGNOSTIC)->trigger();
        ASSERT_TRUE(m_app->document()->doc().waitInputThread(3000));
    }

    /// Refreshes the commands' states as opening a menu does.
    void updateMenus() { emit m_app->mainFrame()->updateCommands(); }

    CDeviceDocUi& docUi() { return *m_app->document(); }
    CDeviceDoc& doc() { return m_app->document()->doc(); }
    CMainFrame& mainFrame() { return *m_app->mainFrame(); }

    /// The messages shown so far (a copy: the host may add more from another thread).
    std::vector<ShownMessage> messages() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_messages;
    }
    /// Whether a message with exactly this text was shown.
    bool shown(const QString& text) {
        const auto all = messages();
        return std::any_of(all.begin(), all.end(), [&](const ShownMessage& m) { return m.text == text; });
    }

    /// Whether a message beginning with this text was shown.
    bool shownStartingWith(const QString& text) {
        const auto all = messages();
        return std::any_of(all.begin(), all.end(), [&](const ShownMessage& m) { return m.text.startsWith(text); });
    }

    struct DialogCall {
        bool save;
        QString folder, filter, suffix;
    };

    CScratchFolder m_home;
    CMemoryPreferences m_prefs;
    std::unique_ptr<sim::CSimController> m_controller;
    std::unique_ptr<sim::CSimServer> m_server;
    std::unique_ptr<CZefirel> m_app;
    std::mutex m_lock;
    std::vector<ShownMessage> m_messages;
    std::vector<DialogCall> m_dialogs;
    QString m_nextFile;
};

} // namespace zefirel::test
