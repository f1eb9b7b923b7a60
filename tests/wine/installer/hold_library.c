/* Plays a running mail client for the setup tests: loads the DLL named on
 * its command line as the mail client loads its plug-ins (mapped as an
 * image, so Windows refuses to write the file), says "loaded", and keeps
 * it loaded until the release file named after it is deleted. */
#include <stdio.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    fputs("usage: hold_library.exe DLL RELEASE_FILE (holds DLL loaded while RELEASE_FILE exists)\n", stderr);
    return 2;
  }
  /* Mapped, but its entry point not run: the plug-in would want a host. */
  HMODULE module = LoadLibraryExW(argv[1], NULL, DONT_RESOLVE_DLL_REFERENCES);
  if (!module) {
    fprintf(stderr, "hold_library: cannot load %ls (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  puts("loaded");
  fflush(stdout);
  while (GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES) Sleep(50);
  FreeLibrary(module);
  puts("released");
  return 0;
}
