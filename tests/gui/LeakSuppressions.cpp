// Leaks the GUI test program does not own: fontconfig, loaded by Qt for the first
// font, keeps a few small allocations until the process ends. Without this list the
// leak check of a sanitizer build would fail every GUI test at exit over them.

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
