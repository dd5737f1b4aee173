// A small library for the module-record tests: a few named exports and a version resource.
extern "C" __declspec(dllexport) int LabExportOne() { return 1; }
extern "C" __declspec(dllexport) int LabExportTwo() { return 2; }
extern "C" __declspec(dllexport) int LabExportThree() { return 3; }
