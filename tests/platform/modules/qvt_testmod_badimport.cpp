// A module that imports a function no loaded module provides, so loading it
// fails the way a plug-in built against a newer platform would.

extern "C" int QvtTestNoSuchImport(void);

extern "C" __attribute__((visibility("default"))) int QvtTestCallsMissing(void) {
    return QvtTestNoSuchImport() + 1;
}
