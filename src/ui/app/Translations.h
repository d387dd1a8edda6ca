#pragma once
/// Qt's own texts (file and print dialogs, standard buttons, the context menus of
/// text fields, the child window's system menu) in Polish, as the rest of the program.

namespace zefirel {

/// Loads Qt's Polish translations from Qt's translations folder into the running
/// application, once per process. False when they are not installed (the program
/// then goes on with Qt's English texts).
bool installPolishTranslations();

} // namespace zefirel
