#pragma once
/// A one-line tally of a recording's events and markers, for places that name a
/// recording in a sentence (the car history's timeline).

#include <string>

#include "events/DiagEvents.h"

namespace zefirel {

/// "zdarzenia: 2 × Powrót na benzynę, 1 × Przerwa w próbkach; znaczniki: 1", the
/// kinds in their list order; "bez zdarzeń" when there are neither.
std::string eventTally(const RecordingEvents& events);

} // namespace zefirel
