// A library that the broken VISA library needs and that is never on the path.
extern "C" __attribute__((visibility("default"))) int q7VisaDependency() { return 1; }
