// Events of a run seen three ways: live from the document while recording, after
// replaying the recording, and read from the file; all three must agree, markers
// included, and a user's mode command must be told from the controller's own switch.
#include <gtest/gtest.h>

#include <cmath>

#include "DiagTestKit.h"
#include "diag/DeviceDoc.h"
#include "events/DiagEvents.h"
#include "history/HistoryJournal.h"
#include "link/Conversions.h"

using namespace zefirel;
using namespace zefirel::test;

namespace {

class DiagEventsDoc : public ScriptedDoc {
protected:
    /// The scripted controller answers on petrol from now on (a member: the
    /// controller's thread may answer after the test's body ended).
    std::atomic<bool> petrolNow{false};
};

bool has(const std::vector<DiagEvent>& events, EEventKind kind) {
    for (const DiagEvent& e : events)
        if (e.kind == kind)
            return true;
    return false;
}

} // namespace

TEST_F(DiagEventsDoc, LiveReplayedAndFileEventsAreTheSame) {
    setTimerFrequency(40000);
    const uint8_t normal = static_cast<uint8_t>(std::lround(pressureCode(100)));
    const uint8_t low = static_cast<uint8_t>(std::lround(pressureCode(40)));
    const uint8_t volts = static_cast<uint8_t>(std::lround((13.5 - 0.7) / 6.15 * 255 / 5));
    // Petrol for 20 polls, then LPG, the pressure low on polls 40..49.
    ctl.setScript([=, this](int n, int) {
        std::vector<uint8_t> p = CDiagController::payload(n, n < 20 || petrolNow ? 2 : 3);
        p[3] = temperatureCode(40);
        p[5] = volts;
        p[7] = n >= 40 && n < 50 ? low : normal;
        return p;
    });
    // The car history keeps the recording when its run ends, naming its events.
    CHistoryJournal history(EWriteSource::Dialog, file("historia.sqlite"), file("cars/"));
    doc.setWriteJournal(&history);
    const std::string rec = file("jazda.lpgd");
    pollSome(rec, 60);
    ASSERT_TRUE(doc.addMarker(0, "szarpnięcie"));
    ASSERT_TRUE(waitFor([&] { return doc.diagData().count() >= 90; }));
    ASSERT_TRUE(doc.setWorkPetrol()); // noted in the journal once acknowledged
    petrolNow = true;                 // the controller's answers follow the command
    const int afterCommand = doc.diagData().count();
    ASSERT_TRUE(waitFor([&] { return doc.diagData().count() >= afterCommand + 5; }));
    doc.stopDiagnostics();
    ASSERT_TRUE(doc.waitInputThread(3000));

    const RecordingEvents live = doc.currentEvents();
    EXPECT_TRUE(has(live.events, EEventKind::ToLpg));
    EXPECT_TRUE(has(live.events, EEventKind::LowPressure));
    ASSERT_TRUE(has(live.events, EEventKind::ToPetrol));
    for (const DiagEvent& e : live.events) {
        if (e.kind == EEventKind::ToPetrol) {
            EXPECT_FALSE(e.byController) << e.sampleNo;
        }
    }
    ASSERT_EQ(live.markers.size(), 1u);
    EXPECT_EQ(live.markers[0].note, "szarpnięcie");
    EXPECT_GE(live.markers[0].sampleNo, 60u);

    std::string kept;
    history.withDatabase([&](CHistoryDb& db) {
        for (const HistoryCar& car : db.cars())
            for (const HistoryEntry& e : db.timeline(car.id))
                if (e.kind == EHistoryEntryKind::Recording)
                    kept += e.summary;
    });
    EXPECT_NE(kept.find("1 × Przejście na LPG"), std::string::npos) << kept;
    EXPECT_NE(kept.find("1 × Powrót na benzynę"), std::string::npos) << kept;
    EXPECT_NE(kept.find("znaczniki: 1"), std::string::npos) << kept;
    doc.setWriteJournal(nullptr);

    const RecordingEvents fromFile = findRecordingEvents(rec);
    EXPECT_EQ(fromFile.sidecar, ESidecar::Ok);
    EXPECT_EQ(fromFile.events, live.events);
    EXPECT_EQ(fromFile.markers, live.markers);

    doc.replayFile(rec);
    const RecordingEvents replayed = doc.currentEvents();
    EXPECT_EQ(replayed.events, live.events);
    EXPECT_EQ(replayed.markers, live.markers);

    // A marker added after the replay lands in the sidecar beside the first.
    ASSERT_TRUE(doc.addMarker(30, ""));
    EXPECT_EQ(findRecordingEvents(rec).markers.size(), 2u);
    EXPECT_EQ(doc.currentEvents().markers.size(), 2u);
}
