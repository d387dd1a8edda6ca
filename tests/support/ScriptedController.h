#pragma once
/// CScriptedController: a small controller model to serve a CPtyPeer. It answers
/// every command from its state (version record, feature record, settings record,
/// table, EEPROM, level sensor, error report, diagnostic work state, injector
/// sequence) and keeps what the PC writes, so a test can run a command over a real
/// pseudo-terminal and look at both ends.
///
/// The answers are made on the peer's serving thread while the test reads and
/// changes the state from its own, so the state is only reachable under the
/// controller's mutex: update() changes it, state() returns a copy.
///
///   ctl.update([](CScriptedController::State& s) { s.version = 6; });
///   ... run the command ...
///   EXPECT_EQ(ctl.state().workModes, expected);

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "link/Cipher.h"
#include "link/Protocol.h"
#include "support/PtyPeer.h"

namespace zefirel::test {

class CScriptedController {
public:
    struct State {
        uint16_t programmingDate = 100;
        uint16_t version = 5;
        uint8_t injectors = 4;
        std::string identity = "ZF-000123";
        bool answerVersion = true;
        uint32_t features = 0;
        uint32_t frequency = 40000;

        std::vector<uint8_t> setup = std::vector<uint8_t>(26, 0);
        std::array<uint8_t, 26> table{};
        std::array<uint8_t, 512> eeprom{};
        /// EEPROM addresses the controller refuses (reads and writes). Called with
        /// the controller's mutex held, so it must not call back into the controller.
        std::function<bool(uint16_t)> eepromFails;
        std::array<uint8_t, 4> level{};
        uint16_t levelValue = 0;
        std::array<uint8_t, 11> errors{};
        bool errorsCleared = false;

        uint8_t workState = 2;       ///< reported in every diagnostic sample
        std::array<uint16_t, 8> sequence{};
        /// Bytes sent unasked right after the acknowledgement of CMD_CLEAR_ERRORS.
        std::vector<uint8_t> notice;
        std::vector<uint8_t> workModes; ///< CMD_WORK_* codes received, in order
    };

    /// Runs edit on the state with the mutex held and returns what edit returns.
    template <class Edit>
    decltype(auto) update(Edit&& edit) {
        std::lock_guard<std::mutex> g(m_lock);
        return std::forward<Edit>(edit)(m_state);
    }
    /// A copy of the whole state, taken with the mutex held.
    State state() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_state;
    }

    CPtyPeer::Handler handler() {
        return [this](uint8_t type, const std::vector<uint8_t>& p) { return handle(type, p); };
    }

    /// An acknowledgement the PC must refuse (status: unknown command).
    static std::vector<uint8_t> refusal() { return CPtyPeer::ack(CMD_DONE, 0, ERROR_UNKNOWN_CMD); }

    /// The answer to one request; the state is read and changed under the mutex.
    std::vector<uint8_t> handle(uint8_t type, const std::vector<uint8_t>& p) {
        std::lock_guard<std::mutex> g(m_lock);
        State& s = m_state;
        switch (type) {
        case MSG_TYPE_COMMAND:
            return command(p);
        case MSG_TYPE_SETUP:
            s.setup.assign(p.begin(), p.end());
            return CPtyPeer::ack();
        case MSG_TYPE_TABLE:
            std::copy_n(p.begin(), std::min<size_t>(p.size(), s.table.size()), s.table.begin());
            return CPtyPeer::ack();
        case MSG_TYPE_EEPROM: {
            const uint16_t address = getU16(p.data());
            if (p.size() != 10 || address + 8u > s.eeprom.size() || (s.eepromFails && s.eepromFails(address)))
                return refusal();
            std::copy(p.begin() + 2, p.end(), s.eeprom.begin() + address);
            return CPtyPeer::ack();
        }
        case MSG_TYPE_LEVEL_SENSOR:
            std::copy_n(p.begin(), std::min<size_t>(p.size(), 4), s.level.begin());
            return CPtyPeer::ack();
        case MSG_TYPE_VERSION:
            if (p.size() != 21)
                return refusal();
            s.programmingDate = getU16(&p[0]);
            s.version = getU16(&p[2]);
            s.injectors = p[4];
            s.identity = CCipher().decipher(&p[5], 16);
            return CPtyPeer::ack();
        default:
            return refusal();
        }
    }

private:
    // Both run with m_lock held.
    std::vector<uint8_t> versionRecord() const {
        const State& s = m_state;
        std::vector<uint8_t> r(21, 0);
        setU16(&r[0], s.programmingDate);
        setU16(&r[2], s.version);
        r[4] = s.injectors;
        const CCipher::Block id = CCipher().encipher(s.identity);
        std::copy(id.begin(), id.end(), r.begin() + 5);
        return r;
    }

    std::vector<uint8_t> command(const std::vector<uint8_t>& p) {
        State& s = m_state;
        const uint16_t arg = getU16(&p[2]);
        switch (p[0]) {
        case CMD_TEST:
            return CPtyPeer::ack();
        case CMD_VERSION:
            return s.answerVersion ? CPtyPeer::frame(MSG_TYPE_VERSION, versionRecord()) : refusal();
        case CMD_FEATURES: {
            std::vector<uint8_t> r(20, 0);
            setU32(&r[0], s.features);
            setU32(&r[16], s.frequency);
            return CPtyPeer::frame(MSG_TYPE_FEATURES, r);
        }
        case CMD_WORK_LPG:
        case CMD_WORK_GAS:
        case CMD_WORK_AUTO:
            s.workModes.push_back(p[0]);
            return CPtyPeer::ack();
        case CMD_SETUP:
            return CPtyPeer::frame(MSG_TYPE_SETUP, s.setup);
        case CMD_SETUP_TABLE:
            return CPtyPeer::frame(MSG_TYPE_TABLE, std::vector<uint8_t>(s.table.begin(), s.table.end()));
        case CMD_EEPROM: {
            if (arg + 8u > s.eeprom.size() || (s.eepromFails && s.eepromFails(arg)))
                return refusal();
            std::vector<uint8_t> r(10);
            setU16(&r[0], arg);
            std::copy_n(s.eeprom.begin() + arg, 8, r.begin() + 2);
            return CPtyPeer::frame(MSG_TYPE_EEPROM, r);
        }
        case CMD_LEVEL_SENSOR:
            return CPtyPeer::frame(MSG_TYPE_LEVEL_SENSOR, std::vector<uint8_t>(s.level.begin(), s.level.end()));
        case CMD_LEVEL_VALUE:
            return CPtyPeer::ack(CMD_DONE, s.levelValue);
        case CMD_ERROR:
            return CPtyPeer::frame(MSG_TYPE_ERRORS, std::vector<uint8_t>(s.errors.begin(), s.errors.end()));
        case CMD_CLEAR_ERRORS: {
            s.errorsCleared = true;
            std::vector<uint8_t> r = CPtyPeer::ack();
            r.insert(r.end(), s.notice.begin(), s.notice.end());
            return r;
        }
        case CMD_DIAG: {
            std::vector<uint8_t> r(30, 0);
            r[0] = s.workState;
            return CPtyPeer::frame(MSG_TYPE_DIAG, r);
        }
        case CMD_SEQUENCE: {
            std::vector<uint8_t> r(16);
            for (size_t i = 0; i < 8; ++i)
                setU16(&r[2 * i], s.sequence[i]);
            return CPtyPeer::frame(MSG_TYPE_SEQUENCE, r);
        }
        default:
            return refusal();
        }
    }

    mutable std::mutex m_lock;
    State m_state;
};

} // namespace zefirel::test
