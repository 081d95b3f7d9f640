// A planted DLL: when loaded, it leaves the file "<its path>.loaded" beside itself.
#include <windows.h>
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
    char path[MAX_PATH + 8] = "";
    if (reason == DLL_PROCESS_ATTACH && GetModuleFileNameA(module, path, MAX_PATH))
        CloseHandle(CreateFileA(lstrcatA(path, ".loaded"), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    return TRUE;
}
