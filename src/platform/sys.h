// The few system services the portable code needs: locale-aware comparison, text
// conversion, environment expansion, the program's own path, screen sizes, time, a mutex.
// One source file per system implements them.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Compares ignoring case in the system locale (CompareStringA with NORM_IGNORECASE).
// Returns <0, 0 or >0.
int SysCompareNoCase(const char* a, const char* b);
// Converts text to upper case in place, in the system locale.
void SysUpperCase(char* text);

// Code pages.
enum { CODEPAGE_ANSI = 0, CODEPAGE_UTF8 = 65001 };
// Converts UTF-8 text to the ANSI code page (through UTF-16). Returns the length written.
size_t SysUtf8ToAnsi(const char* text, char* out, size_t size);
// Converts the ANSI code page to UTF-8. Returns the length written.
size_t SysAnsiToUtf8(const char* text, char* out, size_t size);
// Converts zero-terminated UTF-16 text to the given code page (0: ANSI). Returns the length.
size_t SysUtf16ToCodePage(const uint16_t* text, unsigned codePage, char* out, size_t size);
// Converts zero-terminated UTF-16 text to the ANSI code page without look-alike replacements:
// a character the code page lacks becomes '?'. Returns the length.
size_t SysUtf16ToAnsiExact(const uint16_t* text, char* out, size_t size);
// Converts zero-terminated ANSI text to UTF-16; count is out's size in units and must hold
// the whole text (one unit a byte is enough). Returns the units written, without the zero.
size_t SysAnsiToUtf16(const char* text, uint16_t* out, size_t count);

// ExpandEnvironmentStringsA into out; returns 0 on failure, else the length.
size_t SysExpandEnvironment(const char* text, char* out, size_t size);
// The program file's full path (GetModuleFileNameA); returns the length.
size_t SysModulePath(char* out, size_t size);
// What tells a file or folder from every other one of the machine, whatever the spelling of
// its path (a short name, another drive letter for its folder): the volume's serial number and
// the file's index on it (GetFileInformationByHandle). Returns 0 or an error.
int SysFileIdentity(const char* path, uint64_t* volume, uint64_t* index);
// The full path, its existing parts in their long form (GetFullPathNameA, GetLongPathNameA).
size_t SysLongPath(const char* path, char* out, size_t size);
// The user's application-data folder (CSIDL 26), else the Windows folder; no trailing separator.
size_t SysAppDataFolder(char* out, size_t size);
// The user's temporary folder with its trailing separator (GetTempPathA).
size_t SysTempFolder(char* out, size_t size);

// Size of the desktop work area and of the whole screen in pixels.
void SysWorkAreaSize(int* width, int* height);
void SysScreenSize(int* width, int* height);

// The system's default language id (GetSystemDefaultLangID).
unsigned SysSystemLanguage();

struct SysTime {
    int year, month, day, dayOfWeek, hour, minute, second, millisecond;
};
void SysUtcTime(SysTime* time);
void SysLocalTime(SysTime* time);
// Converts a local time to a UTC file time. Returns 0, or 87 when it is no valid time.
int SysLocalTimeToFileTime(const SysTime* time, uint64_t* fileTime);
// Formats the date (short format) and the time without seconds in the user's formats.
size_t SysFormatDate(const SysTime* time, char* out, size_t size);
size_t SysFormatTime(const SysTime* time, char* out, size_t size);

// An unnamed mutex of this process. Lock returns 0, or 258 after the time-out.
struct SysMutex;
SysMutex* SysMutexCreate();
int SysMutexLock(SysMutex* mutex, unsigned milliseconds);
void SysMutexUnlock(SysMutex* mutex);
void SysMutexClose(SysMutex* mutex);

// Fills a buffer from the system's random generator. Returns 0 or an error.
int SysRandom(void* buffer, size_t size);

// The machine's secret for the checks only administrators can make: made on first use, in a
// place only the administrators and the system may read (POSIX: the user's, mode 0600).
enum { SYS_SECRET_SIZE = 32 };
int SysMachineSecret(uint8_t secret[SYS_SECRET_SIZE]);

// Claims a folder for this process alone among all processes of the machine, until
// SysUnlockFolder: ERR_SHARING_VIOLATION while another claim stands. Every spelling of the
// folder's path makes the same claim.
struct SysFolderLock;
int SysLockFolder(const char* folder, SysFolderLock** lock);
void SysUnlockFolder(SysFolderLock* lock);

int SysLastError();
void SysSleep(unsigned milliseconds);
