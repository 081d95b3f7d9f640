// System services over the ANSI Win32 interface.
#include <windows.h>
#include <aclapi.h>
#include <ntsecapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <string.h>
#include "platform/procs_win.h"
#include "platform/sys.h"
#include "platform/text.h"

int SysCompareNoCase(const char* a, const char* b) {
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) - CSTR_EQUAL;
}

void SysUpperCase(char* text) {
    CharUpperBuffA(text, (DWORD)strlen(text));
}

static size_t WideToCodePage(const wchar_t* wide, unsigned codePage, char* out, size_t size,
                             DWORD flags = 0) {
    if (size == 0) return 0;
    out[0] = 0;
    int needed = WideCharToMultiByte(codePage, flags, wide, -1, NULL, 0, NULL, NULL);
    if (needed <= 0) return 0;
    char* all = (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)needed);
    if (!all) return 0;
    WideCharToMultiByte(codePage, flags, wide, -1, all, needed, NULL, NULL);
    size_t n = CopyText(out, size, all);
    HeapFree(GetProcessHeap(), 0, all);
    return n;
}

static size_t Convert(unsigned fromCodePage, const char* text, unsigned toCodePage, char* out, size_t size) {
    if (size == 0) return 0;
    out[0] = 0;
    int wideCount = MultiByteToWideChar(fromCodePage, 0, text, -1, NULL, 0);
    if (wideCount <= 0) return 0;
    wchar_t* wide = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)wideCount * sizeof(wchar_t));
    if (!wide) return 0;
    MultiByteToWideChar(fromCodePage, 0, text, -1, wide, wideCount);
    size_t n = WideToCodePage(wide, toCodePage, out, size);
    HeapFree(GetProcessHeap(), 0, wide);
    return n;
}

size_t SysUtf8ToAnsi(const char* text, char* out, size_t size) {
    return Convert(CP_UTF8, text, CP_ACP, out, size);
}
size_t SysAnsiToUtf8(const char* text, char* out, size_t size) {
    return Convert(CP_ACP, text, CP_UTF8, out, size);
}

size_t SysUtf16ToCodePage(const uint16_t* text, unsigned codePage, char* out, size_t size) {
    return WideToCodePage((const wchar_t*)text, codePage, out, size);
}

size_t SysUtf16ToAnsiExact(const uint16_t* text, char* out, size_t size) {
    // A UTF-8 code page takes no flags, and has every character anyway.
    return WideToCodePage((const wchar_t*)text, CP_ACP, out, size,
                          GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS);
}

size_t SysAnsiToUtf16(const char* text, uint16_t* out, size_t count) {
    if (count == 0) return 0;
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, (wchar_t*)out, (int)count);
    if (n <= 0) {
        out[0] = 0;
        return 0;
    }
    return (size_t)n - 1;
}

size_t SysExpandEnvironment(const char* text, char* out, size_t size) {
    if (size == 0) return 0;
    char all[4096];
    DWORD n = ExpandEnvironmentStringsA(text, all, sizeof all);
    if (n == 0 || n > sizeof all) {
        out[0] = 0;
        return 0;
    }
    return CopyText(out, size, all);
}

size_t SysModulePath(char* out, size_t size) {
    char path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
    if (n == 0 || n >= sizeof path) path[0] = 0;
    return CopyText(out, size, path[0] == '"' ? path + 1 : path);
}

int SysFileIdentity(const char* path, uint64_t* volume, uint64_t* index) {
    HANDLE file =
        CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE) return (int)GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    int r = GetFileInformationByHandle(file, &info) ? 0 : (int)GetLastError();
    CloseHandle(file);
    *volume = r ? 0 : info.dwVolumeSerialNumber;
    *index = r ? 0 : ((uint64_t)info.nFileIndexHigh << 32) | info.nFileIndexLow;
    return r;
}

size_t SysLongPath(const char* path, char* out, size_t size) {
    char full[MAX_PATH * 4], longer[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(path, sizeof full, full, NULL);
    if (n == 0 || n >= sizeof full) CopyText(full, sizeof full, path);
    n = GetLongPathNameA(full, longer, sizeof longer);
    return CopyText(out, size, n && n < sizeof longer ? longer : full);
}

size_t SysAppDataFolder(char* out, size_t size) {
    char path[MAX_PATH + 1] = "";
    LPITEMIDLIST list = NULL;
    if (SUCCEEDED(SHGetSpecialFolderLocation(NULL, CSIDL_APPDATA, &list)) && list) {
        if (!SHGetPathFromIDListA(list, path)) path[0] = 0;
        CoTaskMemFree(list);
    }
    if (!path[0] && !GetWindowsDirectoryA(path, sizeof path)) path[0] = 0;
    size_t n = strlen(path);
    if (n > 3 && path[n - 1] == '\\') path[n - 1] = 0;
    return CopyText(out, size, path);
}

size_t SysTempFolder(char* out, size_t size) {
    char path[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof path, path);
    if (n == 0 || n > sizeof path) path[0] = 0;
    return CopyText(out, size, path);
}

void SysWorkAreaSize(int* width, int* height) {
    RECT r = {0, 0, 0, 0};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0)) GetWindowRect(GetDesktopWindow(), &r);
    *width = r.right - r.left;
    *height = r.bottom - r.top;
}

void SysScreenSize(int* width, int* height) {
    RECT r = {0, 0, 0, 0};
    GetWindowRect(GetDesktopWindow(), &r);
    *width = r.right - r.left;
    *height = r.bottom - r.top;
}

unsigned SysSystemLanguage() {
    return GetSystemDefaultLangID();
}

static void FromSystemTime(const SYSTEMTIME* s, SysTime* t) {
    t->year = s->wYear, t->month = s->wMonth, t->day = s->wDay, t->dayOfWeek = s->wDayOfWeek;
    t->hour = s->wHour, t->minute = s->wMinute, t->second = s->wSecond, t->millisecond = s->wMilliseconds;
}

static void ToSystemTime(const SysTime* t, SYSTEMTIME* s) {
    s->wYear = (WORD)t->year, s->wMonth = (WORD)t->month, s->wDay = (WORD)t->day;
    s->wDayOfWeek = (WORD)t->dayOfWeek, s->wHour = (WORD)t->hour, s->wMinute = (WORD)t->minute;
    s->wSecond = (WORD)t->second, s->wMilliseconds = (WORD)t->millisecond;
}

void SysUtcTime(SysTime* time) {
    SYSTEMTIME s;
    GetSystemTime(&s);
    FromSystemTime(&s, time);
}

void SysLocalTime(SysTime* time) {
    SYSTEMTIME s;
    GetLocalTime(&s);
    FromSystemTime(&s, time);
}

int SysLocalTimeToFileTime(const SysTime* time, uint64_t* fileTime) {
    SYSTEMTIME s;
    ToSystemTime(time, &s);
    FILETIME local, utc;
    if (!SystemTimeToFileTime(&s, &local) || !LocalFileTimeToFileTime(&local, &utc))
        return ERROR_INVALID_PARAMETER;
    *fileTime = ((uint64_t)utc.dwHighDateTime << 32) | utc.dwLowDateTime;
    return 0;
}

size_t SysFormatDate(const SysTime* time, char* out, size_t size) {
    SYSTEMTIME s;
    ToSystemTime(time, &s);
    char text[256];
    if (!GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &s, NULL, text, sizeof text)) text[0] = 0;
    return CopyText(out, size, text);
}

size_t SysFormatTime(const SysTime* time, char* out, size_t size) {
    SYSTEMTIME s;
    ToSystemTime(time, &s);
    char text[256];
    if (!GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &s, NULL, text, sizeof text)) text[0] = 0;
    return CopyText(out, size, text);
}

SysMutex* SysMutexCreate() {
    return (SysMutex*)CreateMutexA(NULL, FALSE, NULL);
}

int SysMutexLock(SysMutex* mutex, unsigned milliseconds) {
    if (!mutex) return ERROR_INVALID_HANDLE;
    DWORD r = WaitForSingleObject((HANDLE)mutex, milliseconds);
    return (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) ? 0 : WAIT_TIMEOUT;
}

void SysMutexUnlock(SysMutex* mutex) {
    ReleaseMutex((HANDLE)mutex);
}

void SysMutexClose(SysMutex* mutex) {
    if (mutex) CloseHandle((HANDLE)mutex);
}

int SysLastError() {
    return (int)GetLastError();
}
void SysSleep(unsigned milliseconds) {
    Sleep(milliseconds);
}

static size_t FolderFilePath(UINT(WINAPI* folder)(LPSTR, UINT), const char* name, char* out, size_t size) {
    UINT n = folder(out, (UINT)size);
    if (n == 0 || n >= size) return 0;
    size_t length = FormatText(out + n, size - n, "\\%s", name);
    return length == strlen(name) + 1 ? n + length : 0;
}

size_t SystemFilePath(const char* name, char* out, size_t size) {
    return FolderFilePath(GetSystemDirectoryA, name, out, size);
}

size_t WindowsFilePath(const char* name, char* out, size_t size) {
    return FolderFilePath(GetSystemWindowsDirectoryA, name, out, size);
}

HMODULE LoadSystemLibrary(const char* name) {
    char path[MAX_PATH + 32];
    if (!SystemFilePath(name, path, sizeof path)) return NULL;
    // Where LoadLibraryExA takes the search flags (AddDllDirectory marks them), the DLLs the
    // library needs come from the system folder only; elsewhere the altered search order looks
    // in the library's own folder, the system folder, first.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    int searchFlags = ProcAddress<decltype(AddDllDirectory)>(kernel, "AddDllDirectory") != NULL;
    return LoadLibraryExA(path, NULL,
                          searchFlags ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

int SysRandom(void* buffer, size_t size) {
    return RtlGenRandom(buffer, (ULONG)size) ? 0 : ERROR_GEN_FAILURE;
}

static LONG CreateSecretKey(const char* descriptor, HKEY* key, DWORD* made) {
    PSECURITY_DESCRIPTOR sd = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(descriptor, SDDL_REVISION_1, &sd, NULL))
        return (LONG)GetLastError();
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd, FALSE};
    LONG e = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvanware\\Updater journal key", 0, NULL, 0,
                             KEY_QUERY_VALUE | KEY_SET_VALUE | READ_CONTROL, &sa, key, made);
    LocalFree(sd);
    return e;
}

// A key of that name that someone else made may be readable by them: only one owned by the
// administrators or the system is used.
static int OwnedByAdministrators(HKEY key) {
    PSID owner = NULL;
    PSECURITY_DESCRIPTOR sd = NULL;
    if (GetSecurityInfo(key, SE_REGISTRY_KEY, OWNER_SECURITY_INFORMATION, &owner, NULL, NULL, NULL, &sd))
        return 0;
    int ours = IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid);
    LocalFree(sd);
    return ours;
}

int SysMachineSecret(uint8_t secret[SYS_SECRET_SIZE]) {
    HKEY key;
    DWORD made = 0;
    LONG e = CreateSecretKey("O:BAD:P(A;;KA;;;BA)(A;;KA;;;SY)", &key, &made);
    if (e) return (int)e;
    if (!OwnedByAdministrators(key)) e = ERROR_ACCESS_DENIED;
    if (!e && made == REG_CREATED_NEW_KEY) {
        e = SysRandom(secret, SYS_SECRET_SIZE);
        if (!e) e = RegSetValueExA(key, "Key", 0, REG_BINARY, secret, SYS_SECRET_SIZE);
    }
    // Another process that has just made the key writes its value in a moment.
    for (int tries = 0; !e && made != REG_CREATED_NEW_KEY && tries < 40; tries++) {
        DWORD type = 0, size = SYS_SECRET_SIZE;
        e = RegQueryValueExA(key, "Key", NULL, &type, secret, &size);
        if (!e && (type != REG_BINARY || size != SYS_SECRET_SIZE)) e = ERROR_INVALID_DATA;
        if (e != ERROR_FILE_NOT_FOUND) break;
        e = 0;
        Sleep(50);
    }
    RegCloseKey(key);
    return (int)e;
}

int SysLockFolder(const char* folder, SysFolderLock** lock) {
    *lock = NULL;
    uint64_t volume, index;
    int e = SysFileIdentity(folder, &volume, &index);
    if (e) return e;
    char name[96];
    FormatText(name, sizeof name, "Global\\QXUpdate install %08X %016llX", (unsigned)volume,
               (unsigned long long)index);
    HANDLE mutex = CreateMutexA(NULL, FALSE, name);
    if (!mutex) return (int)GetLastError();
    // The claim is the object itself: it stands while a handle to it is open anywhere.
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return ERROR_SHARING_VIOLATION;
    }
    *lock = (SysFolderLock*)mutex;
    return 0;
}

void SysUnlockFolder(SysFolderLock* lock) {
    if (lock) CloseHandle((HANDLE)lock);
}
