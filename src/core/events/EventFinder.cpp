// The event rules, fed one sample at a time.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <map>

#include "diag/DiagUnits.h"
#include "events/DiagEvents.h"
#include "link/Conversions.h"
#include "link/SettingsBlock.h"

namespace zefirel {

namespace {

struct KindInfo {
    const char* name;
    const char* key;
    uint32_t colour; // 0x00BBGGRR
};

constexpr KindInfo KINDS[EVENT_KIND_COUNT] = {
    {"Przejście na LPG", "to_lpg", 0x0000A000},
    {"Powrót na benzynę", "to_petrol", 0x0000A0E0},
    {"Kod błędu", "error_code", 0x000000D0},
    {"Niskie ciśnienie", "low_pressure", 0x00C00000},
    {"Spadek ciśnienia pod obciążeniem", "pressure_drop", 0x00FF6000},
    {"Zimny gaz", "cold_lpg", 0x00C0C000},
    {"Niskie napięcie", "low_voltage", 0x00800080},
    {"Obroty ponad odcięciem", "overspeed", 0x00404080},
    {"Przerwa w próbkach", "gap", 0x00808080},
};

std::string fmt(const char* f, double a, double b = 0, double c = 0) {
    char buf[256];
    std::snprintf(buf, sizeof buf, f, a, b, c);
    return buf;
}

bool onPetrol(const CDiag& d) { return d.workState() == WORK_STATE_PETROL; }

/// Load as the map computation takes it: manifold vacuum 101 − pressure3.
double vacuum(const CDiag& d) { return 101.0 - pressure3(d); }

} // namespace

const char* eventKindName(EEventKind kind) { return KINDS[static_cast<size_t>(kind)].name; }
const char* eventKindKey(EEventKind kind) { return KINDS[static_cast<size_t>(kind)].key; }
uint32_t eventKindColour(EEventKind kind) { return KINDS[static_cast<size_t>(kind)].colour; }

bool eventKindFromKey(const std::string& key, EEventKind& out) {
    for (size_t i = 0; i < EVENT_KIND_COUNT; ++i)
        if (key == KINDS[i].key) {
            out = static_cast<EEventKind>(i);
            return true;
        }
    return false;
}

std::string eventTimeText(double ms) {
    const long tenths = std::lround(std::max(0.0, ms) / 100.0);
    const long s = tenths / 10, h = s / 3600, m = (s / 60) % 60, sec = s % 60;
    char buf[48];
    if (h > 0)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld.%ld", h, m, sec, tenths % 10);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld.%ld", m, sec, tenths % 10);
    return buf;
}

std::string eventLine(const DiagEvent& e) {
    return eventTimeText(e.timeMs) + "  " + eventKindName(e.kind) + ": " + e.sentence;
}

std::string markerLine(const DiagMarker& m) {
    return eventTimeText(m.timeMs) + "  Znacznik" + (m.note.empty() ? std::string() : ": " + m.note);
}

EventSettings EventSettings::fromBlock(const CSettingsBlock& block) {
    EventSettings s;
    s.petrolSwitchPressure = block.value(ESetting::petrolSwitchPressure);
    s.switchTemperature = block.value(ESetting::switchTemperature);
    s.minSupplyVoltage = block.value(ESetting::minSupplyVoltage);
    s.featureMask = block.featureMask();
    return s;
}

// --- the finder ---------------------------------------------------------------

struct CEventFinder::State {
    EventSettings settings;
    std::vector<DiagEvent> events;
    /// Journal entries not yet acted on (their sample not yet fed), by sample.
    std::multimap<uint32_t, JournalEntry> pending;
    /// Clock readings (sample → ms), and the losses noted.
    std::map<uint32_t, double> clock;
    uint64_t samples = 0;
    uint32_t lastSample = 0;
    bool haveLast = false;
    bool lastPetrol = true;
    bool haveState = false;
    /// Samples in a row each condition has held (index: kind).
    std::array<int, EVENT_KIND_COUNT> held{};
    /// The episode's first sample and its values, kept until the event fires.
    std::array<DiagEvent, EVENT_KIND_COUNT> candidate{};
    std::array<bool, EVENT_KIND_COUNT> fired{};
    std::deque<double> recentPressure;
    std::array<uint8_t, 11> lastErrors{};
    /// Sample numbers of noted petrol/auto commands.
    std::vector<uint32_t> commands;
    /// Switches to petrol not yet past the command window: index into events.
    std::vector<size_t> openSwitches;

    void act(const JournalEntry& e);
    void flushUpTo(uint32_t sampleNo);
    void sample(const CDiag& d);
    /// Values and sentence are built (describe(event)) only when an episode starts.
    template <typename Describe>
    void condition(EEventKind kind, bool on, const CDiag& d, Describe&& describe);
    void emit(DiagEvent e) { events.push_back(std::move(e)); }
    void describeSwitch(DiagEvent& e) const;
    void settleSwitches(uint32_t upTo, bool commandsChanged);
    bool commandNear(uint32_t sampleNo) const {
        for (const uint32_t c : commands)
            if (c + COMMAND_MATCH_SAMPLES >= sampleNo && c <= sampleNo + COMMAND_MATCH_SAMPLES)
                return true;
        return false;
    }
};

namespace {

std::string petrolSentence(bool byController, bool pressureFell, bool underLoad) {
    if (!byController)
        return "Przejście na benzynę na polecenie użytkownika (przełącznik trybu pracy); to nie usterka.";
    if (pressureFell && underLoad)
        return "Sterownik sam wrócił na benzynę przy dużym obciążeniu, a ciśnienie gazu spadało przed powrotem: "
               "gaz nie nadąża. Sprawdź filtr fazy lotnej i zasilanie reduktora (elektrozawór, przewód, "
               "ciśnienie w zbiorniku).";
    if (pressureFell)
        return "Sterownik sam wrócił na benzynę po spadku ciśnienia gazu: sprawdź filtr fazy lotnej, reduktor "
               "i ilość gazu w zbiorniku.";
    return "Sterownik sam wrócił na benzynę: sprawdź kody błędów, napięcie zasilania, temperaturę reduktora "
           "i ustawienia przełączania.";
}

std::string errorSentence(int module, int bit) {
    static const char* const MODULES[11] = {"Pamięć", "Timer", "I2C", "EEPROM", "Wtryskiwacze", "Czujniki",
                                            "Przerwania 0-7", "Przerwania 8-15", "Przerwania 16-23",
                                            "Przerwania 24-32", "Przerwania 32"};
    std::string s = "Sterownik zgłosił błąd (moduł \"" + std::string(MODULES[module]) + "\", bit " +
                    std::to_string(bit) + "). ";
    if (module == 4)
        s += "Sprawdź wtryskiwacz gazowy nr " + std::to_string(bit + 1) + ", jego wtyk i przewody.";
    else if (module == 5)
        s += "Sprawdź wskazany czujnik, jego wtyk i przewody (lista kodów błędów podaje który).";
    else
        s += "Odczytaj kody błędów sterownika; gdy wraca po skasowaniu, sterownik wymaga serwisu.";
    return s;
}

} // namespace

void CEventFinder::State::describeSwitch(DiagEvent& e) const {
    e.byController = !commandNear(e.sampleNo);
    e.sentence = petrolSentence(e.byController, e.values.size() > 2 && e.values[2].value > 0,
                                e.values.size() > 3 && e.values[3].value > 0);
}

void CEventFinder::State::settleSwitches(uint32_t upTo, bool commandsChanged) {
    // A switch is settled once no command noted later can be near it. Its
    // description depends only on the commands, so it is redone when they change.
    std::erase_if(openSwitches, [&](size_t i) {
        DiagEvent& e = events[i];
        if (commandsChanged)
            describeSwitch(e);
        return e.sampleNo + COMMAND_MATCH_SAMPLES < upTo;
    });
}

void CEventFinder::State::act(const JournalEntry& e) {
    switch (e.type) {
    case JournalEntry::EType::Clock:
        clock[e.sampleNo] = e.ms;
        break;
    case JournalEntry::EType::Settings:
        settings = e.settings;
        break;
    case JournalEntry::EType::Command:
        if (e.command != EModeCommand::Lpg) {
            commands.push_back(e.sampleNo);
            settleSwitches(e.sampleNo, true);
        }
        break;
    case JournalEntry::EType::Errors:
        for (int m = 0; m < 11; ++m) {
            const uint8_t fresh = e.errors[m] & ~lastErrors[m];
            for (int b = 0; b < 8; ++b)
                if (fresh & (1u << b)) {
                    DiagEvent ev;
                    ev.sampleNo = e.sampleNo;
                    ev.kind = EEventKind::ErrorCode;
                    ev.values = {{"moduł", double(m), ""}, {"bit", double(b), ""}};
                    ev.sentence = errorSentence(m, b);
                    emit(std::move(ev));
                }
        }
        lastErrors = e.errors;
        break;
    case JournalEntry::EType::Lost: {
        DiagEvent ev;
        ev.sampleNo = e.sampleNo;
        ev.kind = EEventKind::Gap;
        ev.values = {{"przerwa", e.ms / 1000.0, "s"}};
        ev.sentence = fmt("Utracono łączność ze sterownikiem na %.1f s: sprawdź przewód diagnostyczny, wtyk "
                          "i zasilanie sterownika.",
                          e.ms / 1000.0);
        emit(std::move(ev));
        break;
    }
    }
}

template <typename Describe>
void CEventFinder::State::condition(EEventKind kind, bool on, const CDiag& d, Describe&& describe) {
    const size_t k = static_cast<size_t>(kind);
    if (!on) {
        held[k] = 0;
        fired[k] = false;
        return;
    }
    if (held[k]++ == 0) {
        candidate[k] = DiagEvent{};
        candidate[k].sampleNo = d.sampleNo();
        candidate[k].kind = kind;
        describe(candidate[k]);
    }
    if (!fired[k] && held[k] >= EVENT_HOLD_SAMPLES) {
        fired[k] = true;
        emit(candidate[k]);
    }
}

void CEventFinder::State::sample(const CDiag& d) {
    const uint32_t n = d.sampleNo();
    if (haveLast && n > lastSample + 1) {
        DiagEvent ev;
        ev.sampleNo = n;
        ev.kind = EEventKind::Gap;
        ev.values = {{"brakujące próbki", double(n - lastSample - 1), ""}};
        ev.sentence = fmt("Brakuje %.0f próbek przed tą (zapis przerwany lub uszkodzony): sprawdź połączenie ze "
                          "sterownikiem i miejsce na dysku.",
                          double(n - lastSample - 1));
        emit(std::move(ev));
    }
    ++samples;
    const bool petrol = onPetrol(d);
    const double rpm = engineSpeed(d);
    const double p = differentialPressure(d);
    const bool running = rpm >= RPM_SHOWN_FROM;
    const bool underLoad = vacuum(d) < LOAD_VACUUM_KPA;

    // Pressure history: the highest of the previous samples on LPG.
    double recentMax = 0;
    for (const double v : recentPressure)
        recentMax = std::max(recentMax, v);
    const bool fell = !petrol && recentMax > 0 && p < recentMax * (100.0 - PRESSURE_DROP_PERCENT) / 100.0;

    if (haveState && petrol != lastPetrol) {
        DiagEvent ev;
        ev.sampleNo = n;
        ev.kind = petrol ? EEventKind::ToPetrol : EEventKind::ToLpg;
        ev.values = {{"obroty", rpm, "1/min"}, {"ciśnienie", p, "kPa"}};
        if (petrol) {
            // Before the switch: did the pressure fall, was the engine under load?
            ev.values.push_back({"spadek ciśnienia", recentMax > 0 ? recentMax - p : 0, "kPa"});
            ev.values.push_back({"obciążenie", underLoad ? 1.0 : 0.0, ""});
            ev.byController = true;
            emit(std::move(ev));
            describeSwitch(events.back());
            openSwitches.push_back(events.size() - 1);
            settleSwitches(n, false);
        } else {
            ev.sentence = fmt("Sterownik przeszedł na gaz przy %.0f obr/min; temperatura reduktora %.0f °C.", rpm,
                              heaterTemperature(d));
            emit(std::move(ev));
        }
    }
    haveState = true;
    lastPetrol = petrol;

    condition(EEventKind::LowPressure, !petrol && running && p < settings.petrolSwitchPressure, d,
              [&](DiagEvent& e) {
                  e.values = {{"ciśnienie", p, "kPa"}, {"próg", settings.petrolSwitchPressure, "kPa"}};
                  e.sentence = fmt("Ciśnienie gazu %.1f kPa poniżej progu przełączenia na benzynę (%.0f kPa): "
                                   "sprawdź filtr fazy lotnej, reduktor i ilość gazu w zbiorniku.",
                                   p, settings.petrolSwitchPressure);
              });
    condition(EEventKind::PressureDrop, fell && underLoad, d, [&](DiagEvent& e) {
        e.values = {{"ciśnienie", p, "kPa"}, {"wcześniej", recentMax, "kPa"}, {"podciśnienie", vacuum(d), "kPa"}};
        e.sentence = fmt("Pod obciążeniem ciśnienie gazu spadło z %.1f do %.1f kPa: reduktor nie nadąża z "
                         "wydatkiem. Sprawdź filtr fazy lotnej, przewód zasilający i wydajność reduktora.",
                         recentMax, p);
    });
    const double lpgT = lpgTemperature(d);
    condition(EEventKind::ColdLpg, !petrol && lpgT >= TEMPERATURE_SHOWN_FROM && lpgT < settings.switchTemperature,
              d, [&](DiagEvent& e) {
                  e.values = {{"temperatura gazu", lpgT, "°C"}, {"próg", settings.switchTemperature, "°C"}};
                  e.sentence = fmt("Praca na gazie przy temperaturze gazu %.0f °C, poniżej temperatury "
                                   "przełączenia (%.0f °C): sprawdź obieg płynu chłodzącego przez reduktor "
                                   "i termostat.",
                                   lpgT, settings.switchTemperature);
              });
    const double volts = supplyVolts(d, settings.featureMask);
    condition(EEventKind::LowVoltage,
              supplyVoltageVisible(d, settings.featureMask) && volts < settings.minSupplyVoltage, d,
              [&](DiagEvent& e) {
                  e.values = {{"napięcie", volts, "V"}, {"minimum", settings.minSupplyVoltage, "V"}};
                  e.sentence = fmt("Napięcie zasilania %.1f V poniżej minimum (%.1f V): sprawdź akumulator, "
                                   "ładowanie i masę sterownika.",
                                   volts, settings.minSupplyVoltage);
              });
    condition(EEventKind::OverSpeed, rpm >= OVERSPEED_RPM, d, [&](DiagEvent& e) {
        e.values = {{"obroty", rpm, "1/min"}};
        e.sentence = fmt("Obroty %.0f obr/min ponad zakresem odcięcia: sprawdź sygnał obrotów i ustawienie "
                         "\"Ilość zapłonów na cykl\".",
                         rpm);
    });

    if (!petrol) {
        recentPressure.push_back(p);
        if (recentPressure.size() > PRESSURE_DROP_WINDOW)
            recentPressure.pop_front();
    } else {
        recentPressure.clear();
    }
    lastSample = n;
    haveLast = true;
    settleSwitches(n, false);
}

CEventFinder::CEventFinder(const EventSettings& settings) : m(std::make_unique<State>()) { m->settings = settings; }
CEventFinder::~CEventFinder() = default;

void CEventFinder::State::flushUpTo(uint32_t sampleNo) {
    while (!pending.empty() && pending.begin()->first <= sampleNo) {
        const JournalEntry e = pending.begin()->second;
        pending.erase(pending.begin());
        act(e);
    }
}

void CEventFinder::add(const CDiag& d) {
    // Entries noted at earlier samples act before this one.
    if (d.sampleNo() > 0)
        m->flushUpTo(d.sampleNo() - 1);
    m->sample(d);
}

void CEventFinder::addJournal(const JournalEntry& entry) {
    if (entry.type == JournalEntry::EType::Clock) {
        m->act(entry); // the clock changes no rule, only the times
    } else if (m->haveLast && entry.sampleNo <= m->lastSample) {
        m->flushUpTo(entry.sampleNo);
        m->act(entry);
    } else {
        m->pending.emplace(entry.sampleNo, entry);
    }
}

double CEventFinder::timeOf(uint32_t sampleNo) const {
    const auto& c = m->clock;
    if (c.empty())
        return sampleNo * NOMINAL_SAMPLE_MS;
    auto hi = c.lower_bound(sampleNo);
    if (hi != c.end() && hi->first == sampleNo)
        return hi->second;
    const uint32_t s0 = hi == c.begin() ? 0 : std::prev(hi)->first;
    const double t0 = hi == c.begin() ? 0.0 : std::prev(hi)->second;
    if (hi == c.end()) {
        const auto last = std::prev(c.end());
        const double period = last->first > 0 ? last->second / last->first : NOMINAL_SAMPLE_MS;
        return t0 + (sampleNo - s0) * period;
    }
    if (hi->first == s0)
        return t0;
    return t0 + (hi->second - t0) * double(sampleNo - s0) / double(hi->first - s0);
}

std::vector<DiagEvent> CEventFinder::events() const {
    // Entries noted after the newest sample fed act now (they refer to it).
    if (m->haveLast)
        m->flushUpTo(m->lastSample);
    std::vector<DiagEvent> out = m->events;
    std::stable_sort(out.begin(), out.end(), [](const DiagEvent& a, const DiagEvent& b) { return a.sampleNo < b.sampleNo; });
    for (DiagEvent& e : out)
        e.timeMs = timeOf(e.sampleNo);
    return out;
}

uint64_t CEventFinder::samples() const { return m->samples; }

} // namespace zefirel
