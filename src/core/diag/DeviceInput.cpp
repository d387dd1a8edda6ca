#include "diag/DeviceInput.h"

#include <chrono>

#include "diag/Companion.h"
#include "diag/DeviceDoc.h"
#include "diag/DiagUnits.h"
#include "link/LPGDevice.h"
#include "support/Error.h"

namespace zefirel {

namespace {
std::atomic<int> g_failures{0};
} // namespace

// --- shared body --------------------------------------------------------------

CDiagInputThread::CDiagInputThread(CDiagData& store, std::string path, std::atomic<uint8_t>& runFlag,
                                   CLPGDevice* device)
    : m_store(&store), m_path(std::move(path)), m_runFlag(&runFlag), m_device(device) {}

void CDiagInputThread::trackWith(std::shared_ptr<std::atomic<int>> live) {
    m_live = std::move(live);
    if (m_live)
        m_live->fetch_add(1);
}

void CDiagInputThread::leaveTally() {
    if (m_live)
        m_live->fetch_sub(1);
    m_live.reset();
}

void CDiagInputThread::onStartFailed() {
    clearRunFlag();
    leaveTally();
}

int CDiagInputThread::failureCount() { return g_failures.load(); }

void CDiagInputThread::run() {
    try {
        loop();
    } catch (IError* e) {
        auto owned = adoptError(e);
        if (running()) {
            stopQuietly();
            // The line's error state tells a vanished controller from a bad file.
            if (m_device && m_device->line().clearCommError() != 0)
                giveUp();
        }
    } catch (...) {
        if (running())
            stopQuietly();
    }
    leaveTally();
}

void CDiagInputThread::loop() {
    onStart();
    // The count starts afresh with every thread: a count left over from a run that
    // gave up must not end the next run at its first failure, nor make the end of a
    // replay look like a lost controller.
    g_failures.store(0);
    for (;;) {
        if (!running()) {
            onStop();
            return;
        }
        CDiag d;
        if (readSample(d)) {
            processSample(d);
            g_failures.store(0);
        } else {
            g_failures.fetch_add(1);
        }
        if (g_failures.load() > MAX_FAILED_READS) {
            onStop();
            giveUp();
            return;
        }
    }
}

void CDiagInputThread::stopQuietly() {
    try {
        onStop();
    } catch (IError* e) {
        adoptError(e);
    } catch (...) {
    }
}

void CDiagInputThread::giveUp() {
    if (!m_device)
        return;
    m_device->markConnectionLost();
    m_device->host().startTimer(RECONNECT_TIMER_ID, RECONNECT_FIRST_DELAY_MS);
}

// --- polling ------------------------------------------------------------------

CDiagRSThread::CDiagRSThread(CLPGDevice& device, CDiagData& store, const std::string& path,
                             std::atomic<uint8_t>& runFlag, const std::atomic<int>& injector)
    : CDiagInputThread(store, path, runFlag, &device), m_injector(&injector), m_journal(device.runJournal()) {
    m_writer.open(path);
    createEmptyCompanion(companionPath(path));
}

void CDiagRSThread::onStart() {
    if (!m_writer.isOpen())
        raiseError(ERROR_FILE_OPEN, MSG_RECORDING_CREATE, __LINE__, __FILE__);
    m_device->line().purgeIn();
    m_store->clear();
}

namespace {
int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

void CDiagRSThread::noteLostLine() {
    if (m_failingSinceNs == 0)
        return;
    const double ms = double(nowNs() - m_failingSinceNs) / 1e6;
    m_failingSinceNs = 0;
    if (ms >= GAP_MS)
        if (m_journal)
            m_journal->noteLost(ms);
}

void CDiagRSThread::onStop() {
    m_writer.close();
    noteLostLine();
    if (m_journal)
        m_journal->finish();
    m_device->onDiagnosticsEnded(m_run);
}

bool CDiagRSThread::readSample(CDiag& d) {
    // Read before every poll, holding no lock: a new choice in the panel applies
    // to the next sample.
    int injector = m_injector->load(std::memory_order_relaxed);
    if (injector < 1 || injector > 8)
        injector = 1;
    if (!m_device->requestDiag(injector, d)) {
        if (m_failingSinceNs == 0)
            m_failingSinceNs = nowNs();
        return false;
    }
    noteLostLine();
    d.setInjector(static_cast<uint8_t>(injector));
    normaliseWorkState(d);
    return true;
}

void CDiagRSThread::record(CDiag& d) {
    d.setSampleNo(++m_counter);
    m_writer.write(d);
    m_store->add(d);
    if (m_journal)
        m_journal->sampleRecorded(d);
}

void CDiagRSThread::processSample(CDiag& d) {
    normaliseSample(d);
    record(d);
    if (hasSecondMeasurement(d)) {
        CDiag second = secondMeasurement(d);
        record(second);
    }
}

// --- replay -------------------------------------------------------------------

CDiagFileThread::CDiagFileThread(CDiagData& store, const std::string& path, std::atomic<uint8_t>& runFlag,
                                 std::shared_ptr<ReplayOutcome> outcome)
    : CDiagInputThread(store, path, runFlag, nullptr), m_outcome(std::move(outcome)) {
    m_reader.open(path);
}

void CDiagFileThread::onStart() {
    m_store->clear();
    if (!m_reader.isOpen()) {
        // The document waits for the flag to drop; make sure it does.
        clearRunFlag();
        raiseError(ERROR_FILE_OPEN, MSG_RECORDING_OPEN, __LINE__, __FILE__);
    }
}

void CDiagFileThread::onStop() {
    if (m_outcome)
        *m_outcome = ReplayOutcome{m_reader.stats(), m_atEnd};
    m_reader.close();
    clearRunFlag();
}

bool CDiagFileThread::readSample(CDiag& d) {
    if (m_reader.read(d))
        return true;
    m_atEnd = true;
    clearRunFlag();
    return false;
}

void CDiagFileThread::processSample(CDiag& d) {
    d.setColour(injectorColour(d.injector()));
    m_store->add(d);
}

} // namespace zefirel
