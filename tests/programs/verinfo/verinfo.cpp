// A library that only carries a version resource, for the version reader tests.
extern "C" __declspec(dllexport) int VerinfoProbe() { return 42; }
