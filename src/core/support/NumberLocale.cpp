#include "support/NumberLocale.h"

#include <clocale>

namespace zefirel {

void keepNumbersInCLocale() { std::setlocale(LC_NUMERIC, "C"); }

} // namespace zefirel
