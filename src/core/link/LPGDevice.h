#pragma once
/// CLPGDevice: the PC's proxy of one LPG controller. It owns the serial port, the
/// transaction lock, the settings block, the sample store and the connection flags,
/// and offers every controller operation. Operations return true/false after their
/// own retries; serial-port errors (CRSError) pass to the caller except in connect.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "diag/DiagData.h"
#include "link/Conversions.h"
#include "link/DeviceErr.h"
#include "link/Host.h"
#include "link/Protocol.h"
#include "link/SerialPort.h"
#include "link/SettingsBlock.h"
#include "link/SettingsWrite.h"
#include "link/WriteJournal.h"
#include "link/Threads.h"
#include "support/FileUtil.h"

namespace zefirel {

class CLinkTrace;
class CRunJournal;
class IPreferences;

inline constexpr uint32_t BAUD_RATE = 14400;
/// No particular answer expected from a transaction.
inline constexpr uint8_t ANY_FRAME_TYPE = 0;
inline constexpr uint16_t SUPPORTED_VERSION = 5;
inline constexpr size_t VERSION_RECORD_SIZE = 21;
inline constexpr size_t FEATURE_RECORD_SIZE = 20;
inline constexpr size_t ERROR_REPORT_SIZE = 11;
inline constexpr size_t LEVEL_CALIBRATION_SIZE = 4;
inline constexpr size_t EEPROM_BLOCK_SIZE = 10; ///< 16-bit address + 8 data bytes
inline constexpr uint32_t EEPROM_BLOCK_DATA = 8;
inline constexpr uint8_t TIME_CORRECTION_RECORD_SIZE = 26; ///< 25 entries (percent + 100) and a 0
inline constexpr uint8_t DIAG_REQUEST_SIZE = 30;
/// Seconds one byte takes on the line: 10 bits (start, 8 data, stop) at 14400 baud.
inline constexpr double LINE_BYTE_SECONDS = 10.0 / BAUD_RATE;
inline constexpr size_t EEPROM_SIZE = 512;
inline constexpr uint16_t MAP_EEPROM_ADDRESS = 104;
inline constexpr size_t MAP_EEPROM_RANGE = 408;

/// One injector of the firing sequence.
struct SequenceItem {
    uint8_t injector = 0;  ///< 1..8
    uint8_t position = 0;  ///< 1 = first
    double time = 0;       ///< ms, relative to the earliest injector
    bool present = false;  ///< false when the controller saw no signal
};

/// The version mismatch message shown by the handshake and the settings write.
std::string versionMismatchText(unsigned controllerVersion);

/// A work mode the controller was told to take.
enum class EWorkCommand : uint8_t { None, Petrol, Lpg, Auto };

class CLPGDevice : public CLPGDeviceErr {
public:
    explicit CLPGDevice(ILPGHost* host = nullptr, IPreferences* prefs = nullptr);
    virtual ~CLPGDevice();
    CLPGDevice(const CLPGDevice&) = delete;
    CLPGDevice& operator=(const CLPGDevice&) = delete;

    // --- wiring -------------------------------------------------------------
    void setHost(ILPGHost* host) { m_host = host; }
    ILPGHost& host();
    void setPreferences(IPreferences* prefs) { m_prefs = prefs; }
    IPreferences* preferences() const { return m_prefs; }
    /// Tells a journal about every write attempt into the controller (null = none;
    /// the journal outlives the device or is unset first). Its note on a
    /// settings write is added to the result's message.
    void setWriteJournal(IWriteJournal* journal) { m_journal = journal; }
    IWriteJournal* writeJournal() const { return m_journal; }
    /// Traces every frame to the given trace (null = off).
    void setTrace(CLinkTrace* trace) { m_trace = trace; }
    /// Routes transactions through another line instead of the serial port (tests).
    void setLine(ISerialLine* line) { m_line = line; }
    ISerialLine& line() { return m_line ? *m_line : m_port; }
    CSerialPort& port() { return m_port; }
    /// Whether a feature record read by this device sets the process-wide timer
    /// constants and sample layout (on by default: the connected controller's
    /// samples are read with them). A device that only looks at a controller (the
    /// connection troubleshooter's probe) turns it off and keeps its record to itself.
    void setPublishesTimerConstants(bool on) { m_publishesConstants = on; }

    // --- connection ---------------------------------------------------------
    /// Opens port n, sets 8N1 and the time-outs, runs the handshake. Port errors
    /// are caught and count as failure, with no message.
    bool connect(uint32_t portNumber, uint32_t baudRate = BAUD_RATE);
    /// The same on a device path (command-line --device, tests).
    bool connectPath(const std::string& path, uint32_t baudRate = BAUD_RATE);
    /// The last used port first, then 1..7; true on the first that answers. Shows
    /// nothing. A set stop flag ends the search before the next port.
    bool connectFirstPort(const std::atomic<bool>* stop = nullptr);
    /// The last used port first, then 1..7; shows the connection state or the failure.
    bool connectAnyPort();
    void disconnect();
    /// The link test of the handshake on the open connection (3 attempts, under the
    /// transaction lock between polls): whether the controller answers right now.
    bool answersLinkTest();
    bool isVersionOk() const { return m_connected.load(std::memory_order_relaxed); }
    /// Counts the handshakes that found a controller of the right version: a pane
    /// that read the controller on connection n knows a later one is new to it.
    uint64_t connectionNumber() const { return m_connectionNumber.load(); }
    bool isConnectionLost() const { return m_connectionLost.load(std::memory_order_relaxed); }
    /// Sets the connection-lost flag and clears the connected flag (the polling
    /// thread gives up on the controller).
    void markConnectionLost();
    bool extendedDiag() const { return (featureMask() & FEATURE_EXTENDED_DIAG) != 0; }
    /// The controller's feature mask (word 0 of the feature record); read by the
    /// polling thread on every frame, so it is published on its own.
    uint32_t featureMask() const { return m_featureMask.load(std::memory_order_relaxed); }

    // --- frames -------------------------------------------------------------
    /// One request/response under the transaction lock; see the frame protocol.
    /// expectType names the frame type that answers the request (for
    /// MSG_TYPE_COMMAND: an acknowledgement reporting CMD_DONE). An answer of
    /// another kind is still handed back as received, but it was not the answer to
    /// this request, so the receive queue is emptied before the next exchange.
    bool transact(PayloadBuffer& buf, uint8_t& length, uint8_t& type, uint8_t expectType = ANY_FRAME_TYPE);
    /// The same exchange without the acknowledgement status check.
    bool transactUnchecked(PayloadBuffer& buf, uint8_t& length, uint8_t& type,
                           uint8_t expectType = ANY_FRAME_TYPE);

    // --- version and features -----------------------------------------------
    bool readVersion(uint8_t* out21);
    bool readFeatures(uint8_t* out20);
    /// Copies a feature record into the settings block and sets the sample layout it
    /// selects. Every exchange reads the record (the layout bit) under the
    /// transaction lock, so it is replaced under that lock too: the polling thread
    /// never sees it half written.
    void storeFeatures(const uint8_t* record20);
    /// Reads the version record as the version dialog does: CMD_VERSION in a request
    /// padded to 26 bytes, 10 attempts. The record is copied out as received (no
    /// version adjustment) and nothing is stored in the device.
    bool readVersionRecord(uint8_t* out21);
    /// Writes a version record (the version dialog): date in days since 1 April 2004.
    /// Holds the controller as a write does (false when another write holds it or
    /// a setup procedure runs).
    bool writeVersion(uint16_t programmingDate, uint16_t version, uint8_t injectors,
                      const std::string& identity);

    // --- work mode ----------------------------------------------------------
    bool setWorkLpg();
    bool setWorkPetrol();
    bool setWorkAuto();
    /// The work mode set last through this device (None before the first switch).
    EWorkCommand lastWorkCommand() const { return m_workCommand.load(); }

    // --- run journal --------------------------------------------------------
    /// The journal of the run being recorded (null when none): mode commands and
    /// error reports are noted into it, and the recording thread notes its samples.
    void setRunJournal(std::shared_ptr<CRunJournal> journal);
    std::shared_ptr<CRunJournal> runJournal() const;

    // --- settings -----------------------------------------------------------
    /// Reads the controller's settings values into the document's record (and as
    /// the controller's last record). Waits while a write holds the controller;
    /// with wait = false it gives up at once then (the periodic re-read never lands
    /// inside a write). False also when called inside a write on the same thread.
    bool readSettings(bool wait = true);
    /// Reads the injection time correction table into the record (same rules).
    bool readTimeCorrections(bool wait = true);
    /// The one write path: checks the wanted record, brings it to wire values, lists
    /// its changes against the controller's last record (reading that first when
    /// none is known), asks the request's confirmation, resets around a change of
    /// the petrol injection type, writes the curve table, the map and the record in
    /// that order and only then makes the written record the document's, saves the
    /// car settings file and the companion and tells the host. Shows nothing: the
    /// result carries the message. Port errors pass to the caller.
    SettingsWriteResult commitSettings(const SettingsWriteRequest& request);
    /// True while a write holds the controller (a commit, a level, version or
    /// EEPROM write, a reconnect).
    bool writeInProgress() const { return m_ownerBusy.load(); }
    /// A setup procedure (the automatic setup, the wizard) holds the car while it
    /// runs: writes from anyone else are refused (Busy) and the windows disable
    /// every command that writes or switches the mode. Nests (the wizard runs the
    /// automatic setup).
    void beginProcedure() { m_procedures.fetch_add(1); }
    void endProcedure() { m_procedures.fetch_sub(1); }
    bool procedureRunning() const { return m_procedures.load() > 0; }

    // --- EEPROM and map -----------------------------------------------------
    bool readEepromBlock(uint16_t address, uint8_t* out10);
    bool readEeprom(uint16_t address, uint32_t count, uint8_t* out);
    /// Writes a range of the EEPROM, holding the controller as a write does; the
    /// controller's settings, curve and map are unknown afterwards (read again
    /// before the next settings write). False when another write holds it or a
    /// setup procedure runs.
    bool writeEeprom(const uint8_t* data, uint16_t address, uint32_t count);
    /// Reads the map into the document's record; true only when its checksum
    /// matches (the bytes are copied either way).
    bool readMap(bool wait = true);

    // --- level sensor -------------------------------------------------------
    bool readLevelCalibration(uint8_t* out4);
    /// Writes the level thresholds, holding the controller as a write does (false
    /// when another write holds it or a setup procedure runs).
    bool writeLevelCalibration(const uint8_t* in4);
    bool readLevelValue(uint32_t& value);

    // --- errors -------------------------------------------------------------
    bool readErrors(uint8_t* out11);
    bool clearErrors();
    /// Switches to petrol, then polls injector 1 every 50 ms until the work state
    /// reads 2. Bounded: gives up after resetTimeoutMs or when the wait is cancelled.
    bool resetController();
    void setResetTimeout(int ms) { m_resetTimeoutMs = ms; }

    // --- diagnostics and sequence -------------------------------------------
    bool requestDiag(int injector, CDiag& out);
    bool readSequence(std::vector<SequenceItem>& items, bool& spread);

    // --- state --------------------------------------------------------------
    /// A copy of the document's settings block. The block has one owner: it is
    /// changed only under its lock, by reads from the controller, by the one write
    /// path and by updateSettings; everyone else works on a copy.
    const CSettingsBlock settings() const;
    /// Changes the document's block under its lock: for what lives only on the PC
    /// (the car data, a test's starting state). Values meant for the controller go
    /// through commitSettings instead.
    void updateSettings(const std::function<void(CSettingsBlock&)>& change);
    /// A copy of what the controller holds as far as this connection knows: the
    /// settings values after the last successful read or write, the curve and the
    /// map after theirs. Before any it is the block as the device started.
    CSettingsBlock lastControllerSettings() const;
    /// Whether the controller's settings values, curve and map have been read or
    /// written on this connection (a new handshake forgets them).
    bool controllerSettingsKnown() const;
    bool controllerCurveKnown() const;
    bool controllerMapKnown() const;
    CDiagData& diagData() { return m_diagData; }
    /// The current recording or replayed file (empty when none). The polling thread
    /// empties it when it stops, so it is read and written under its own lock.
    std::string recordingPath() const;
    void setRecordingPath(const std::string& p);
    std::atomic<uint8_t>& diagnosticsOnFlag() { return m_diagnosticsOn; }
    bool diagnosticsOn() const { return m_diagnosticsOn.load(std::memory_order_relaxed) != 0; }

    // --- hooks the document overrides --------------------------------------
    /// The polling thread of the given diagnostic run stopped.
    virtual void onDiagnosticsEnded(uint64_t /*run*/) {}
    /// Makes sure the car data are known: asks the host with blk, whose car texts
    /// the answer fills; true when they are known. The default always asks.
    virtual bool ensureCarData(CSettingsBlock& blk);
    /// The same on a copy of the document's block; the answer is stored in it.
    bool ensureCarData();
    /// Appends the settings block to the running recording's companion; false when
    /// there is none.
    virtual bool appendSettingsCompanion() { return false; }
    /// The settings folder (created when missing), ending with "/".
    virtual std::string settingsFolder() const;
    /// Last used serial port (0 when none).
    virtual uint32_t readLastSerialPort();
    virtual void writeLastSerialPort(uint32_t port);

    /// The car settings file path for a block's car texts and identity on a date
    /// ("%d-%m-%Y"); empty when make, model or capacity is empty.
    std::string carSettingsPath(const CSettingsBlock& blk, const std::string& date) const;
    /// Saves a block as a car settings file named by its time stamp's date (written
    /// whole or not at all; a block without a time stamp is stamped now). False on
    /// failure; true also when no file was due.
    bool saveCarSettingsFile(const CSettingsBlock& blk);
    /// Writes a stamped block into a temporary file beside its car settings file,
    /// to be committed (renamed over it) later. Returns the file's path, "-" when
    /// the car is not described (no file is due), or "" when it cannot be written.
    std::string prepareCarSettingsFile(const CSettingsBlock& blk, CAtomicFile& file) const;

    /// Stamps a block with the current local time ("%d-%m-%Y-%H:%M:%S").
    static void stampTime(CSettingsBlock& blk);

protected:
    /// What a request loop does with a successful answer of an unexpected type.
    enum class EOtherType { Retry, Stop };
    /// Sends the request (reqLength bytes of type reqType, rebuilt before every
    /// attempt) until an answer of expectType arrives that is long enough for its
    /// record (and, for MSG_TYPE_COMMAND, carries CMD_DONE). The answer is in buf.
    bool requestAttempts(const uint8_t* request, uint8_t reqLength, uint8_t reqType, int attempts,
                         uint8_t expectType, PayloadBuffer& buf, uint8_t& length,
                         EOtherType other = EOtherType::Retry);
    bool handshake();
    /// Stores the version word, injector count and deciphered identity of a
    /// host-order version record in the settings block.
    void storeVersionRecord(const uint8_t* record21);
    bool commandAttempts(uint8_t cmd, int attempts, uint8_t expectType, PayloadBuffer& buf,
                         uint8_t& length, uint16_t argument = 0, uint8_t requestLength = 6,
                         EOtherType other = EOtherType::Retry);
    bool acknowledged(PayloadBuffer& buf, uint8_t length, uint8_t type, int attempts);
    /// Sends cmd (10 attempts) and copies the first size bytes of an answer of type.
    bool readRecord(uint8_t cmd, uint8_t type, uint8_t* out, size_t size, uint16_t argument = 0);
    /// Sends size bytes as a frame of type until acknowledged (10 attempts).
    bool sendRecord(uint8_t type, const uint8_t* data, size_t size);
    bool setWorkMode(uint8_t cmd);
    /// Records a work mode the controller accepted; passes ok on.
    bool noteWorkCommand(bool ok, EWorkCommand mode);
    /// Reads one frame the controller sends unasked: the one an exchange read in
    /// place of its answer since forgetUnasked(), if any, else the next from the line.
    bool readUnasked(PayloadBuffer& buf, uint8_t& length, uint8_t& type);
    /// Drops a kept unasked frame (before a command whose notice is awaited).
    void forgetUnasked();
    /// Pause between work-mode attempts (500 ms); a hook so tests can shorten it.
    virtual void pauseMs(int ms);

    /// Holds the controller for a write (or a reconnect): one at a time. Waiting
    /// lets the host run its pending work (a worker's queued message) so the GUI
    /// thread never blocks a worker that waits for it. False when busy and not
    /// waiting, or when this thread already holds it.
    bool acquireOwner(bool wait);
    void releaseOwner();
    class COwnerGuard {
    public:
        COwnerGuard(CLPGDevice& d, bool wait) : m_d(d), m_held(d.acquireOwner(wait)) {}
        ~COwnerGuard() { if (m_held) m_d.releaseOwner(); }
        COwnerGuard(const COwnerGuard&) = delete;
        COwnerGuard& operator=(const COwnerGuard&) = delete;
        bool held() const { return m_held; }
    private:
        CLPGDevice& m_d;
        bool m_held;
    };
    /// The handshake has run: what was known of the controller's record is
    /// forgotten (another controller may answer now).
    void forgetControllerRecord();

    CDiagData m_diagData;
    CSerialPort m_port;
    std::string m_recordingPath;  ///< guarded by m_pathLock
    mutable std::mutex m_pathLock;
    std::atomic<bool> m_connectionLost{false};
    std::atomic<bool> m_connected{false};
    std::atomic<EWorkCommand> m_workCommand{EWorkCommand::None};
    std::shared_ptr<CRunJournal> m_runJournal; ///< guarded by m_pathLock
    std::atomic<uint8_t> m_diagnosticsOn{0};
    CMutex m_txLock;

private:
    // The steps of the reads and writes; the caller holds the controller.
    bool readSettingsHeld();
    bool readTimeCorrectionsHeld();
    bool readMapHeld(MapImage& bytes);
    bool sendTimeCorrections(const CSettingsBlock& blk);
    bool sendMap(const MapImage& bytes);
    bool writeEepromHeld(const uint8_t* data, uint16_t address, uint32_t count);
    bool writeEepromBlock(const uint8_t* block10);
    bool sendSettingsRecord(const CSettingsBlock& blk);
    /// The write without its journal entry: the checks before the controller is
    /// held, then commitHeld. Both fill in the entry's records as they learn them.
    SettingsWriteResult commitChecked(const SettingsWriteRequest& request, WriteJournalEntry& entry);
    SettingsWriteResult commitHeld(const SettingsWriteRequest& request, CSettingsBlock wanted,
                                   WriteJournalEntry& entry);
    /// A journal entry of a write about to be tried: the record before is the
    /// controller's as last known, with the car texts the PC holds; after = before.
    WriteJournalEntry journalStart(EWriteKind kind) const;
    /// Tells the journal about a level, version or EEPROM write: the bytes sent,
    /// whether they were accepted (held = false: another write held the controller).
    void journalWrite(WriteJournalEntry entry, bool held, bool ok, const uint8_t* data, size_t size,
                      uint16_t address = 0);
    /// Writes the map verified (reset, write, read back every byte), switching a
    /// map in use off first so a half-written map is never used.
    EWriteOutcome writeMapHeld(const MapImage& bytes, const CSettingsBlock& controller, std::string& message);

    mutable std::mutex m_settingsLock; ///< guards the four members below
    CSettingsBlock m_settings;
    CSettingsBlock m_lastController;
    bool m_lastControllerKnown = false;
    bool m_curveKnown = false;
    bool m_mapKnown = false;
    std::atomic<uint32_t> m_featureMask{0};
    std::atomic<uint64_t> m_connectionNumber{0};
    std::atomic<int> m_procedures{0};
    bool m_publishesConstants = true;
    std::mutex m_ownerLock;
    std::atomic<bool> m_ownerBusy{false};
    std::atomic<std::thread::id> m_ownerThread{};
    /// Opens the port (by number, or the path when the number is 0), sets the line
    /// and runs the handshake; port errors count as failure.
    bool openAndHandshake(uint32_t portNumber, const std::string& path, uint32_t baudRate);
    bool exchange(PayloadBuffer& buf, uint8_t& length, uint8_t& type, bool checkStatus, uint8_t expectType);
    /// True when a received frame of type answers a request expecting expectType.
    static bool answers(uint8_t expectType, const PayloadBuffer& buf, uint8_t type);
    /// An exchange read a frame that does not answer its request: the queue is
    /// stale, and the frame is kept for readUnasked.
    void keepUnasked(const PayloadBuffer& buf, uint8_t length, uint8_t type);
    /// The steps of one exchange; the caller holds the transaction lock.
    bool exchangeLocked(ISerialLine& io, PayloadBuffer& buf, uint8_t& length, uint8_t& type, bool checkStatus);
    ILPGHost* m_host = nullptr;
    IPreferences* m_prefs = nullptr;
    IWriteJournal* m_journal = nullptr;
    CLinkTrace* m_trace = nullptr;
    ISerialLine* m_line = nullptr;
    int m_resetTimeoutMs = 30000;
    CNullHost m_nullHost;
    /// A failed or mismatched exchange may have left the rest of a frame (or a late
    /// answer) queued; the next exchange discards it first so the link does not stay
    /// a frame behind. Guarded by the transaction lock.
    bool m_rxStale = false;
    /// The last frame an exchange read in place of its answer (host order), kept
    /// for readUnasked. Guarded by the transaction lock.
    PayloadBuffer m_unasked{};
    uint8_t m_unaskedLength = 0;
    uint8_t m_unaskedType = 0;
    bool m_haveUnasked = false;
};

/// Holds the car for a setup procedure for its lifetime.
class CProcedureHold {
public:
    explicit CProcedureHold(CLPGDevice& device) : m_device(device) { m_device.beginProcedure(); }
    ~CProcedureHold() { m_device.endProcedure(); }
    CProcedureHold(const CProcedureHold&) = delete;
    CProcedureHold& operator=(const CProcedureHold&) = delete;

private:
    CLPGDevice& m_device;
};

} // namespace zefirel
