// LeakSanitizer suppressions built into the Qt test programs: only libraries
// of Qt's own stack, never ours. Fontconfig keeps its configuration for the
// life of the process once Qt's font database has asked for it.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
