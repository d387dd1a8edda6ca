#pragma once
/// Numbers are written and read with a decimal point, whatever the desktop's locale.

namespace zefirel {

/// Sets the C library's numeric conventions back to "C" for the whole process. A
/// toolkit that takes the process locale from the environment (Qt does when its
/// application object is made) would otherwise turn every "%.2f" into "4,15" under
/// a Polish desktop and make strtod and "%f" scanning stop at a ".". Call right
/// after such an object is made, before any other thread starts.
void keepNumbersInCLocale();

} // namespace zefirel
