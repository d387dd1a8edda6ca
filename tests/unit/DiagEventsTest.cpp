// Events of a drive: one crafted recording per rule with a near miss beside it,
// the sidecar file (markers kept, a missing, cut or foreign sidecar never stops a
// recording), a crash while the sidecar is written, and two recordings compared.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>

#include "diag/Recording.h"
#include "events/DiagEvents.h"
#include "events/RecordingCompare.h"
#include "settings/ServiceReport.h"
#include "link/Conversions.h"
#include "support/FileUtil.h"
#include "support/TestDevice.h"

using namespace zefirel;
using zefirel::test::CScratchFolder;

namespace {

/// A sample on LPG at 2000 1/min, 100 kPa, 40 °C gas, 13.5 V, light load.
CDiag cruising() {
    CDiag d;
    d.setInjector(1);
    d.setWorkState(3);
    d.setRpmPeriod(2400);
    d.setSubRpmPeriod(0, 2400);
    d.setPetrolTime(0, 160);
    d.setPressureCode(static_cast<uint8_t>(std::lround(pressureCode(100))));
    d.setPressure3Code(static_cast<uint8_t>(std::lround(pressureCode(50)))); // vacuum 51 kPa
    d.setLpgTempCode(temperatureCode(40));
    d.setHeaterTempCode(temperatureCode(60));
    d.setSupplyVoltageCode(static_cast<uint8_t>(std::lround((13.5 - 0.7) / 6.15 * 255 / 5)));
    return d;
}

void setPressure(CDiag& d, double kpa) { d.setPressureCode(static_cast<uint8_t>(std::lround(pressureCode(kpa)))); }
void setVolts(CDiag& d, double v) {
    d.setSupplyVoltageCode(static_cast<uint8_t>(std::lround((v - 0.7) / 6.15 * 255 / 5)));
}
void setRpm(CDiag& d, double rpm) { d.setRpmPeriod(static_cast<uint16_t>(std::lround(4800000 / rpm))); }
void underLoad(CDiag& d) { d.setPressure3Code(static_cast<uint8_t>(std::lround(pressureCode(91)))); } // vacuum 10

/// 30 samples numbered from 1: change applies to samples [from, from + count).
std::vector<CDiag> drive(int from, int count, const std::function<void(CDiag&)>& change,
                         const std::function<void(CDiag&)>& everywhere = {}) {
    std::vector<CDiag> s;
    for (int n = 1; n <= 30; ++n) {
        CDiag d = cruising();
        if (everywhere)
            everywhere(d);
        d.setSampleNo(static_cast<uint32_t>(n));
        if (n >= from && n < from + count)
            change(d);
        s.push_back(d);
    }
    return s;
}

std::vector<DiagEvent> eventsOf(const std::vector<CDiag>& samples, const std::vector<JournalEntry>& journal = {}) {
    CEventFinder f;
    for (const JournalEntry& e : journal)
        f.addJournal(e);
    for (const CDiag& d : samples)
        f.add(d);
    return f.events();
}

std::vector<DiagEvent> ofKind(const std::vector<DiagEvent>& all, EEventKind kind) {
    std::vector<DiagEvent> out;
    for (const DiagEvent& e : all)
        if (e.kind == kind)
            out.push_back(e);
    return out;
}

void writeRecording(const std::string& path, const std::vector<CDiag>& samples) {
    CRecordingWriter w;
    ASSERT_TRUE(w.open(path));
    for (const CDiag& d : samples)
        ASSERT_TRUE(w.write(d));
}

JournalEntry errorReport(uint32_t sample, int module, uint8_t bits) {
    JournalEntry e;
    e.type = JournalEntry::EType::Errors;
    e.sampleNo = sample;
    e.errors[static_cast<size_t>(module)] = bits;
    return e;
}

} // namespace

TEST(DiagEvents, EachRuleFiresAtTheStartOfItsEpisodeAndNotOnTheNearMiss) {
    CDiag::setExtendedLayout(false);
    setTimerFrequency(40000);
    const auto petrol = [](CDiag& d) { d.setWorkState(2); };
    struct Case {
        const char* what;
        EEventKind kind;
        uint32_t start;                   // sample where the event starts
        std::vector<CDiag> hit, nearMiss; // the near miss must make no event of the kind
    } cases[] = {
        {"switch to LPG", EEventKind::ToLpg, 6, drive(1, 5, petrol),
         drive(1, 0, petrol) /* on LPG from its first sample: no switch */},
        {"back to petrol", EEventKind::ToPetrol, 12, drive(12, 19, petrol), drive(1, 30, petrol)},
        {"pressure below the petrol-switch pressure (60 kPa)", EEventKind::LowPressure, 10,
         drive(10, 3, [](CDiag& d) { setPressure(d, 50); }),
         drive(10, 2, [](CDiag& d) { setPressure(d, 50); }) /* two samples only */},
        {"pressure at the threshold is no event", EEventKind::LowPressure, 10,
         drive(10, 3, [](CDiag& d) { setPressure(d, 55); }),
         drive(10, 5, [](CDiag& d) { setPressure(d, 61); })},
        {"drop under load", EEventKind::PressureDrop, 15, drive(15, 4, [](CDiag& d) { setPressure(d, 75); }, underLoad),
         drive(15, 4, [](CDiag& d) { setPressure(d, 85); }, underLoad) /* 15 % only */},
        {"drop without load is none", EEventKind::PressureDrop, 15,
         drive(15, 4, [](CDiag& d) { setPressure(d, 75); }, underLoad),
         drive(15, 4, [](CDiag& d) { setPressure(d, 75); }) /* light load */},
        {"cold gas on LPG (25 °C)", EEventKind::ColdLpg, 8,
         drive(8, 3, [](CDiag& d) { d.setLpgTempCode(temperatureCode(10)); }),
         drive(8, 3,
               [](CDiag& d) {
                   d.setLpgTempCode(temperatureCode(10));
                   d.setWorkState(2);
               }) /* on petrol */},
        {"low supply voltage (10 V)", EEventKind::LowVoltage, 20, drive(20, 3, [](CDiag& d) { setVolts(d, 9.5); }),
         drive(20, 3, [](CDiag& d) { setVolts(d, 10.3); })},
        {"engine speed above the cut-off", EEventKind::OverSpeed, 5, drive(5, 3, [](CDiag& d) { setRpm(d, 8200); }),
         drive(5, 3, [](CDiag& d) { setRpm(d, 7900); })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<DiagEvent> hit = ofKind(eventsOf(c.hit), c.kind);
        ASSERT_EQ(hit.size(), 1u);
        EXPECT_EQ(hit[0].sampleNo, c.start);
        EXPECT_FALSE(hit[0].sentence.empty());
        EXPECT_FALSE(hit[0].values.empty());
        EXPECT_TRUE(ofKind(eventsOf(c.nearMiss), c.kind).empty());
    }
}

TEST(DiagEvents, GapsErrorsAndTheUsersCommandComeFromTheJournalAndTheNumbers) {
    CDiag::setExtendedLayout(false);
    setTimerFrequency(40000);
    // Sample numbers jump from 12 to 18: five samples are missing.
    std::vector<CDiag> s = drive(1, 0, [](CDiag&) {});
    for (size_t i = 12; i < s.size(); ++i)
        s[i].setSampleNo(s[i].sampleNo() + 5);
    std::vector<DiagEvent> gaps = ofKind(eventsOf(s), EEventKind::Gap);
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].sampleNo, 18u);
    EXPECT_TRUE(ofKind(eventsOf(drive(1, 0, [](CDiag&) {})), EEventKind::Gap).empty());

    // A lost line noted at sample 9.
    JournalEntry lost;
    lost.type = JournalEntry::EType::Lost;
    lost.sampleNo = 9;
    lost.ms = 2500;
    gaps = ofKind(eventsOf(drive(1, 0, [](CDiag&) {}), {lost}), EEventKind::Gap);
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].sampleNo, 9u);

    // A new error bit makes an event; the same report again makes none.
    const std::vector<DiagEvent> errors = ofKind(
        eventsOf(drive(1, 0, [](CDiag&) {}), {errorReport(4, 5, 0x02), errorReport(9, 5, 0x02), errorReport(14, 5, 0x06)}),
        EEventKind::ErrorCode);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].sampleNo, 4u);
    EXPECT_EQ(errors[1].sampleNo, 14u);
    EXPECT_EQ(errors[1].values[1].value, 2); // bit 2 is the new one

    // The switch back at 12: by the controller, unless a petrol command is noted near it.
    const std::vector<CDiag> back = drive(12, 19, [](CDiag& d) { d.setWorkState(2); });
    EXPECT_TRUE(ofKind(eventsOf(back), EEventKind::ToPetrol).at(0).byController);
    JournalEntry command;
    command.type = JournalEntry::EType::Command;
    command.command = EModeCommand::Petrol;
    command.sampleNo = 14; // acknowledged a little after the switch was seen
    const DiagEvent byUser = ofKind(eventsOf(back, {command}), EEventKind::ToPetrol).at(0);
    EXPECT_FALSE(byUser.byController);
    EXPECT_NE(byUser.sentence.find("użytkownika"), std::string::npos);
}

TEST(DiagEvents, JournalNotedLateGivesTheSameEventsAsReadFromAFile) {
    // Live, an entry is noted after the samples were fed; from a file, before.
    CDiag::setExtendedLayout(false);
    setTimerFrequency(40000);
    const std::vector<CDiag> s = drive(12, 19, [](CDiag& d) {
        d.setWorkState(2);
        setPressure(d, 40);
    });
    JournalEntry command;
    command.type = JournalEntry::EType::Command;
    command.command = EModeCommand::Auto;
    command.sampleNo = 20;
    const std::vector<JournalEntry> journal = {errorReport(5, 4, 1), command};
    CEventFinder live;
    for (const CDiag& d : s) {
        live.add(d);
        for (const JournalEntry& e : journal)
            if (e.sampleNo == d.sampleNo())
                live.addJournal(e);
    }
    EXPECT_EQ(live.events(), eventsOf(s, journal));
}

TEST(DiagEvents, SidecarKeepsMarkersAndADamagedOneNeverStopsTheRecording) {
    CDiag::setExtendedLayout(false);
    setTimerFrequency(40000);
    CScratchFolder dir;
    const std::string rec = dir.path() + "/jazda.lpgd";
    writeRecording(rec, drive(10, 3, [](CDiag& d) { setPressure(d, 50); }));
    const RecordingEvents bare = findRecordingEvents(rec);
    EXPECT_EQ(bare.sidecar, ESidecar::Missing);
    ASSERT_EQ(ofKind(bare.events, EEventKind::LowPressure).size(), 1u);

    ASSERT_TRUE(addRecordingMarker(rec, 7, "stuk\tprzy 3000\\obr"));
    ASSERT_TRUE(addRecordingMarker(rec, 25, ""));
    const RecordingEvents marked = findRecordingEvents(rec);
    EXPECT_EQ(marked.sidecar, ESidecar::Ok);
    ASSERT_EQ(marked.markers.size(), 2u);
    EXPECT_EQ(marked.markers[0].sampleNo, 7u);
    EXPECT_EQ(marked.markers[0].note, "stuk\tprzy 3000\\obr");
    EXPECT_DOUBLE_EQ(marked.markers[1].timeMs, 25 * NOMINAL_SAMPLE_MS);
    EXPECT_EQ(marked.events, bare.events);

    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readFile(sidecarPath(rec), bytes));
    const std::string whole(bytes.begin(), bytes.end());
    EXPECT_EQ(whole.rfind("zefirel-zdarzenia 1\n", 0), 0u);
    // Cut anywhere short of its end, or of another version: markers lost, events the same.
    for (const size_t cut : {size_t(5), whole.size() / 2, whole.size() - 1}) {
        ASSERT_TRUE(writeFileAtomic(sidecarPath(rec), whole.data(), cut));
        const RecordingEvents r = findRecordingEvents(rec);
        EXPECT_EQ(r.sidecar, ESidecar::Damaged) << cut;
        EXPECT_TRUE(r.markers.empty());
        EXPECT_EQ(r.events, bare.events);
        EXPECT_NE(sidecarNotice(r.sidecar, rec).find("uszkodzony"), std::string::npos);
    }
    std::string other = whole;
    other.replace(0, 20, "zefirel-zdarzenia 2\n");
    ASSERT_TRUE(writeFileAtomic(sidecarPath(rec), other.data(), other.size()));
    const RecordingEvents foreign = findRecordingEvents(rec);
    EXPECT_EQ(foreign.sidecar, ESidecar::OtherVersion);
    EXPECT_EQ(foreign.events, bare.events);
    EXPECT_FALSE(sidecarNotice(foreign.sidecar, rec).empty());
    // The recording itself was never touched.
    std::vector<CDiag> back;
    loadRecording(rec, back);
    EXPECT_EQ(back.size(), 30u);
}

TEST(DiagEvents, SidecarIsWholeOrAbsentWhenTheWriterIsKilled) {
    CDiag::setExtendedLayout(false);
    CScratchFolder dir;
    const std::string rec = dir.path() + "/zabity.lpgd";
    int killedWithMarkers = 0;
    for (int round = 0; round < 12; ++round) {
        ::unlink(sidecarPath(rec).c_str());
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Markers 1, 2, 3, ... each saved at once, as fast as possible.
            CRunJournal journal(rec, EventSettings{});
            for (uint32_t n = 1;; ++n)
                journal.addMarker(n, "znacznik " + std::to_string(n));
        }
        ::usleep(static_cast<useconds_t>(20000 + round * 15000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        SidecarContent content;
        const ESidecar state = readSidecar(sidecarPath(rec), content);
        ASSERT_TRUE(state == ESidecar::Ok || state == ESidecar::Missing) << int(state);
        for (size_t i = 0; i < content.markers.size(); ++i)
            ASSERT_EQ(content.markers[i].note, "znacznik " + std::to_string(i + 1));
        killedWithMarkers += !content.markers.empty();
    }
    EXPECT_GT(killedWithMarkers, 0); // the writer was killed in the middle of its work
}

TEST(DiagEvents, TimesFollowTheClockReadings) {
    CEventFinder f;
    JournalEntry clock;
    clock.type = JournalEntry::EType::Clock;
    clock.sampleNo = 100;
    clock.ms = 5000;
    f.addJournal(clock);
    EXPECT_DOUBLE_EQ(f.timeOf(50), 2500);
    EXPECT_DOUBLE_EQ(f.timeOf(200), 10000); // the run's mean period onwards
    clock.sampleNo = 200;
    clock.ms = 7000;
    f.addJournal(clock);
    EXPECT_DOUBLE_EQ(f.timeOf(150), 6000);
    EXPECT_EQ(eventTimeText(3723400), "1:02:03.4");
    EXPECT_EQ(eventTimeText(65000), "1:05.0");
}

namespace {

/// count samples of one fuel in the cell at 2500 1/min and vacuum 35 kPa.
void addCell(std::vector<CDiag>& s, bool petrol, int count, uint16_t ticks, double rpm = 2500, double vacuum = 35) {
    for (int i = 0; i < count; ++i) {
        CDiag d;
        d.setSampleNo(static_cast<uint32_t>(s.size() + 1));
        d.setInjector(1);
        d.setWorkState(petrol ? 2 : 3);
        d.setRpmPeriod(static_cast<uint16_t>(std::lround(960000 / rpm))); // F = 8000 Hz
        d.setPetrolTime(0, ticks); // 0.125 ms each
        d.setPressure3Code(static_cast<uint8_t>(std::lround(pressureCode(101 - vacuum))));
        s.push_back(d);
    }
}

} // namespace

TEST(RecordingCompare, CellsOfTwoCraftedRecordings) {
    CDiag::setExtendedLayout(false);
    CScratchFolder dir;
    std::vector<CDiag> a, b;
    // 2000-3000 at 30-40 kPa: +10 % before, +2 % after: better by 8 points.
    addCell(a, true, 20, 50);
    addCell(a, false, 20, 55);
    addCell(b, true, 20, 50);
    addCell(b, false, 20, 51);
    // 4000-5000 at 30-40 kPa: +1 % before, −6 % after: worse.
    addCell(a, true, 15, 100, 4500);
    addCell(a, false, 15, 101, 4500);
    addCell(b, true, 15, 100, 4500);
    addCell(b, false, 15, 94, 4500);
    // 1000-2000 at 60-70 kPa: 11 samples of each in A, 10 of LPG in B: not judged.
    addCell(a, true, 11, 24, 1500, 65);
    addCell(a, false, 11, 24, 1500, 65);
    addCell(b, true, 11, 24, 1500, 65);
    addCell(b, false, 10, 24, 1500, 65);
    writeRecording(dir.path() + "/a.lpgd", a);
    writeRecording(dir.path() + "/b.lpgd", b);
    const CompareResult r =
        compareRecordings(dir.path() + "/a.lpgd", dir.path() + "/b.lpgd", MapUnits::ofFrequency(8000));
    ASSERT_EQ(r.cells.size(), 3u);
    const CompareCell& low = r.cells[0]; // speed outer: 1000-2000 first
    EXPECT_EQ(low.speedBucket, 1);
    EXPECT_EQ(low.loadBucket, 6);
    EXPECT_TRUE(low.a.judged);
    EXPECT_FALSE(low.b.judged);
    EXPECT_EQ(low.b.lpgCount, 10);
    EXPECT_EQ(low.verdict, ECompareChange::NotJudged);
    const CompareCell& mid = r.cells[1];
    EXPECT_EQ(mid.speedBucket, 2);
    EXPECT_EQ(mid.loadBucket, 3);
    EXPECT_DOUBLE_EQ(mid.a.difference, 10.0);
    EXPECT_DOUBLE_EQ(mid.b.difference, 2.0);
    EXPECT_DOUBLE_EQ(mid.change, -8.0);
    EXPECT_EQ(mid.verdict, ECompareChange::Better);
    EXPECT_EQ(r.cells[2].verdict, ECompareChange::Worse);
    EXPECT_DOUBLE_EQ(r.cells[2].b.difference, -6.0);
    EXPECT_EQ(r.verdict, "Lepiej: 1, gorzej: 1, bez zmian: 0, bez oceny: 1; największa zmiana: 2000-3000 obr/min, "
                         "30-40 kPa (+10.0% → +2.0%).");
}

TEST(DiagEvents, ServiceReportListsTheRecordingsEventsWithTheirSentences) {
    CDiag::setExtendedLayout(false);
    setTimerFrequency(40000);
    CScratchFolder dir;
    const std::string rec = dir.path() + "/raport.lpgd";
    writeRecording(rec, drive(10, 3, [](CDiag& d) { setPressure(d, 50); }));
    ServiceReportData r;
    r.haveRecording = true;
    r.recording = summariseRecording(rec, 0);
    ASSERT_EQ(r.recording.events.size(), 1u);
    const std::vector<std::string> findings = summariseReport(r).findings;
    const std::string expected = "Zdarzenie 0:00.5  Niskie ciśnienie: " + r.recording.events[0].sentence;
    EXPECT_NE(std::find(findings.begin(), findings.end(), expected), findings.end());
}
