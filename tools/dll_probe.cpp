// Loads a DLL by its bare name with the ordinary search order, which looks in the program's
// own folder first: shows that a DLL planted there is found by a program that does not guard
// against it. Usage: dll_probe.exe NAME.dll
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    return LoadLibraryW(argv[1]) ? 0 : 1;
}
