// System services for native builds. Text in the "ANSI code page" is Windows-1252 here,
// as on the systems the program runs on; paths come from settable values.
#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include "platform/sys.h"
#include "platform/sys_posix.h"
#include "platform/text.h"

static char gModulePath[1024] = "/opt/qxupdate/QXUpdate.exe";
static char gAppData[1024] = "/tmp/qx-appdata";
static int gWorkWidth = 1600, gWorkHeight = 1170, gScreenWidth = 1600, gScreenHeight = 1200;
static unsigned gLanguage = 1033;

void SysPosixSetModulePath(const char* path) {
    CopyText(gModulePath, sizeof gModulePath, path);
}
void SysPosixSetAppDataFolder(const char* path) {
    CopyText(gAppData, sizeof gAppData, path);
}
void SysPosixSetWorkArea(int width, int height) {
    gWorkWidth = width, gWorkHeight = height;
}
void SysPosixSetScreenSize(int width, int height) {
    gScreenWidth = width, gScreenHeight = height;
}
void SysPosixSetSystemLanguage(unsigned language) {
    gLanguage = language;
}

// Windows-1252 bytes 0x80 to 0x9F; 0 where the code page has no character.
static const uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

static unsigned Cp1252ToCode(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) return kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : c;
    return c;
}

static char CodeToCp1252(unsigned code) {
    if (code < 0x80 || (code >= 0xA0 && code < 0x100)) return (char)code;
    for (int i = 0; i < 32; i++)
        if (kCp1252High[i] == code) return (char)(0x80 + i);
    return '?';
}

int SysCompareNoCase(const char* a, const char* b) {
    for (;; a++, b++) {
        int x = tolower((unsigned char)*a), y = tolower((unsigned char)*b);
        if (x != y || !x) return x - y;
    }
}

void SysUpperCase(char* text) {
    for (; *text; text++)
        *text = (char)toupper((unsigned char)*text);
}

static size_t Put(char* out, size_t size, size_t n, char c) {
    if (n + 1 < size) out[n++] = c;
    return n;
}

size_t SysUtf8ToAnsi(const char* text, char* out, size_t size) {
    if (size == 0) return 0;
    size_t n = 0;
    const unsigned char* p = (const unsigned char*)text;
    while (*p) {
        unsigned code = *p++;
        int more = code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : code >= 0xC0 ? 1 : 0;
        if (more) code &= 0x3F >> more;
        for (; more && (*p & 0xC0) == 0x80; more--)
            code = (code << 6) | (*p++ & 0x3F);
        n = Put(out, size, n, more ? '?' : CodeToCp1252(code));
    }
    out[n] = 0;
    return n;
}

static size_t PutUtf8(char* out, size_t size, size_t n, unsigned code) {
    char bytes[4];
    int count;
    if (code < 0x80)
        bytes[0] = (char)code, count = 1;
    else if (code < 0x800)
        bytes[0] = (char)(0xC0 | code >> 6), bytes[1] = (char)(0x80 | (code & 0x3F)), count = 2;
    else {
        bytes[0] = (char)(0xE0 | code >> 12), bytes[1] = (char)(0x80 | ((code >> 6) & 0x3F));
        bytes[2] = (char)(0x80 | (code & 0x3F)), count = 3;
    }
    if (n + count + 1 > size) return n;
    memcpy(out + n, bytes, count);
    return n + count;
}

size_t SysAnsiToUtf8(const char* text, char* out, size_t size) {
    if (size == 0) return 0;
    size_t n = 0;
    for (const unsigned char* p = (const unsigned char*)text; *p; p++)
        n = PutUtf8(out, size, n, Cp1252ToCode(*p));
    out[n] = 0;
    return n;
}

size_t SysUtf16ToCodePage(const uint16_t* text, unsigned codePage, char* out, size_t size) {
    if (size == 0) return 0;
    size_t n = 0;
    for (; *text; text++)
        n = codePage == CODEPAGE_UTF8 ? PutUtf8(out, size, n, *text) : Put(out, size, n, CodeToCp1252(*text));
    out[n] = 0;
    return n;
}

size_t SysUtf16ToAnsiExact(const uint16_t* text, char* out, size_t size) {
    return SysUtf16ToCodePage(text, CODEPAGE_ANSI, out, size);
}

size_t SysAnsiToUtf16(const char* text, uint16_t* out, size_t count) {
    if (count == 0) return 0;
    size_t n = 0;
    for (const unsigned char* p = (const unsigned char*)text; *p && n + 1 < count; p++)
        out[n++] = (uint16_t)Cp1252ToCode(*p);
    out[n] = 0;
    return n;
}

size_t SysExpandEnvironment(const char* text, char* out, size_t size) {
    char all[4096];
    size_t n = 0;
    for (const char* p = text; *p && n + 1 < sizeof all;) {
        const char* end = *p == '%' ? strchr(p + 1, '%') : NULL;
        if (end && end > p + 1) {
            char name[256];
            CopyTextN(name, sizeof name, p + 1, (size_t)(end - p - 1));
            const char* value = getenv(name);
            if (value) {
                n += CopyText(all + n, sizeof all - n, value);
                p = end + 1;
                continue;
            }
        }
        all[n++] = *p++;
    }
    all[n] = 0;
    return CopyText(out, size, all);
}

size_t SysModulePath(char* out, size_t size) {
    return CopyText(out, size, gModulePath);
}
// The path with '\\' taken as a separator.
static void Slashed(const char* path, char* out, size_t size) {
    CopyText(out, size, path);
    for (char* p = out; *p; p++)
        if (*p == '\\') *p = '/';
}

int SysFileIdentity(const char* path, uint64_t* volume, uint64_t* index) {
    char native[4096];
    Slashed(path, native, sizeof native);
    struct stat st;
    *volume = *index = 0;
    if (stat(native, &st) != 0) return errno == ENOENT ? 2 : 5;
    *volume = (uint64_t)st.st_dev, *index = (uint64_t)st.st_ino;
    return 0;
}

size_t SysLongPath(const char* path, char* out, size_t size) {
    char native[4096], real[PATH_MAX];
    Slashed(path, native, sizeof native);
    return CopyText(out, size, realpath(native, real) ? real : path);
}

size_t SysAppDataFolder(char* out, size_t size) {
    return CopyText(out, size, gAppData);
}

size_t SysTempFolder(char* out, size_t size) {
    const char* tmp = getenv("TMPDIR");
    CopyText(out, size, tmp && *tmp ? tmp : "/tmp");
    size_t n = strlen(out);
    if (n == 0 || out[n - 1] != '/') n = AppendText(out, size, "/");
    return n;
}

void SysWorkAreaSize(int* width, int* height) {
    *width = gWorkWidth, *height = gWorkHeight;
}
void SysScreenSize(int* width, int* height) {
    *width = gScreenWidth, *height = gScreenHeight;
}
unsigned SysSystemLanguage() {
    return gLanguage;
}

static void FromTm(const struct tm* m, long nanoseconds, SysTime* t) {
    t->year = m->tm_year + 1900, t->month = m->tm_mon + 1, t->day = m->tm_mday, t->dayOfWeek = m->tm_wday;
    t->hour = m->tm_hour, t->minute = m->tm_min, t->second = m->tm_sec,
    t->millisecond = (int)(nanoseconds / 1000000);
}

void SysUtcTime(SysTime* time) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm m;
    gmtime_r(&now.tv_sec, &m);
    FromTm(&m, now.tv_nsec, time);
}

void SysLocalTime(SysTime* time) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm m;
    localtime_r(&now.tv_sec, &m);
    FromTm(&m, now.tv_nsec, time);
}

static int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return days[month - 1] + (month == 2 && leap);
}

int SysLocalTimeToFileTime(const SysTime* time, uint64_t* fileTime) {
    if (time->year < 1601 || time->year > 30827 || time->month < 1 || time->month > 12 || time->day < 1 ||
        time->day > DaysInMonth(time->year, time->month) || time->hour < 0 || time->hour > 23 ||
        time->minute < 0 || time->minute > 59 || time->second < 0 || time->second > 59 ||
        time->millisecond < 0 || time->millisecond > 999)
        return 87;
    struct tm m;
    memset(&m, 0, sizeof m);
    m.tm_year = time->year - 1900, m.tm_mon = time->month - 1, m.tm_mday = time->day;
    m.tm_hour = time->hour, m.tm_min = time->minute, m.tm_sec = time->second, m.tm_isdst = -1;
    time_t seconds = mktime(&m);
    // seconds between 1601-01-01 and 1970-01-01
    *fileTime = ((uint64_t)((int64_t)seconds + 11644473600LL) * 1000 + (uint64_t)time->millisecond) * 10000;
    return 0;
}

size_t SysFormatDate(const SysTime* time, char* out, size_t size) {
    return FormatText(out, size, "%02d.%02d.%04d", time->day, time->month, time->year);
}

size_t SysFormatTime(const SysTime* time, char* out, size_t size) {
    return FormatText(out, size, "%02d:%02d", time->hour, time->minute);
}

struct SysMutex {
    pthread_mutex_t mutex;
};

SysMutex* SysMutexCreate() {
    SysMutex* m = (SysMutex*)malloc(sizeof(SysMutex));
    if (!m) return NULL;
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    return m;
}

int SysMutexLock(SysMutex* mutex, unsigned milliseconds) {
    if (!mutex) return 6;
    struct timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += milliseconds / 1000;
    until.tv_nsec += (long)(milliseconds % 1000) * 1000000;
    if (until.tv_nsec >= 1000000000) until.tv_sec++, until.tv_nsec -= 1000000000;
    return pthread_mutex_timedlock(&mutex->mutex, &until) == 0 ? 0 : 258;
}

void SysMutexUnlock(SysMutex* mutex) {
    pthread_mutex_unlock(&mutex->mutex);
}

void SysMutexClose(SysMutex* mutex) {
    if (!mutex) return;
    pthread_mutex_destroy(&mutex->mutex);
    free(mutex);
}

int SysLastError() {
    return errno == EACCES ? 5 : errno == ENOENT ? 2 : errno ? 31 : 0;
}
void SysSleep(unsigned milliseconds) {
    usleep(milliseconds * 1000u);
}

int SysRandom(void* buffer, size_t size) {
    for (size_t done = 0; done < size;) {
        ssize_t n = getrandom((char*)buffer + done, size - done, 0);
        if (n < 0 && errno != EINTR) return 31;
        if (n > 0) done += (size_t)n;
    }
    return 0;
}

// The user's own file, made once without following a link and readable by the user only.
int SysMachineSecret(uint8_t secret[SYS_SECRET_SIZE]) {
    const char* home = getenv("HOME");
    if (!home || !home[0]) return 2;
    char path[1024];
    FormatText(path, sizeof path, "%s/.qxupdate-journal-key", home);
    for (int tries = 0; tries < 40; tries++, SysSleep(50)) {
        int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            int e = SysRandom(secret, SYS_SECRET_SIZE);
            if (!e && write(fd, secret, SYS_SECRET_SIZE) != SYS_SECRET_SIZE) e = 29;
            close(fd);
            if (e) return e;
        }
        fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return 5;
        struct stat st;
        int usable =
            fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && !(st.st_mode & 077);
        ssize_t got = usable ? read(fd, secret, SYS_SECRET_SIZE) : -1;
        close(fd);
        if (!usable) return 5;
        if (got == SYS_SECRET_SIZE) return 0; // else its maker is still writing it
    }
    return 13;
}

struct SysFolderLock {
    int fd;
};

int SysLockFolder(const char* folder, SysFolderLock** lock) {
    *lock = NULL;
    char native[4096];
    Slashed(folder, native, sizeof native);
    int fd = open(native, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? 3 : 5;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return 32;
    }
    *lock = (SysFolderLock*)malloc(sizeof(SysFolderLock));
    if (*lock) {
        (*lock)->fd = fd;
        return 0;
    }
    close(fd);
    return 8;
}

void SysUnlockFolder(SysFolderLock* lock) {
    if (!lock) return;
    close(lock->fd);
    free(lock);
}
