// A shared object for the module loading tests.
extern "C" __attribute__((visibility("default"))) int PlatformTestModuleAnswer() { return 42; }
