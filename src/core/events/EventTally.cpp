#include "events/EventTally.h"

#include <array>

namespace zefirel {

std::string eventTally(const RecordingEvents& events) {
    std::array<size_t, EVENT_KIND_COUNT> counts{};
    for (const DiagEvent& e : events.events)
        ++counts[static_cast<size_t>(e.kind)];
    std::string text;
    for (size_t k = 0; k < EVENT_KIND_COUNT; ++k) {
        if (counts[k] == 0)
            continue;
        text += text.empty() ? "zdarzenia: " : ", ";
        text += std::to_string(counts[k]) + " × " + eventKindName(static_cast<EEventKind>(k));
    }
    if (!events.markers.empty())
        text += (text.empty() ? "" : "; ") + std::string("znaczniki: ") + std::to_string(events.markers.size());
    return text.empty() ? "bez zdarzeń" : text;
}

} // namespace zefirel
