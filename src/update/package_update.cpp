// Extracting an update package into a product's folder: joining entry names to the folder
// without ever leaving it, and staging the files so that a failed or interrupted update
// leaves the product exactly as it was (or, once the update has gone through, exactly as
// the package makes it).
//
// Staging writes the files into a staging folder inside the target folder (so on the same
// volume, and writable whenever the target is) and flushes each to the disk; a running
// product is untouched by it. Only when the package was read to its end and its checksum
// matched can the stage be committed: its files are moved into place, in package order; a
// file they replace is first moved into the staging folder as well. Before the first move a
// journal naming the files is written into the staging folder and flushed to the disk; it
// is deleted once every file is in place, and that is the moment the update counts as done.
// An install cut short before then (the process killed, the power lost) is undone later,
// from the journal and the staging folder itself: step i is done once its staged file
// "f<i>" is gone, and half done when the replaced file already sits in "b<i>". Undoing
// needs only the journal on the disk: the files it puts back are the old ones, and moves
// are changes of the folder that the file system keeps in order. When a move fails, the
// steps are undone the same way, by moves (the new file back to "f<i>"), so that an undo
// cut short looks like an install cut short.
//
// Staging folders are "~qxstage", "~qxstage1" and so on, each marked by a file of its own;
// folders of those names without the mark belong to someone else and are left alone.
//
// The program runs as administrator in folders that standard users may be able to write.
// So no link (symbolic link, junction, mount point) below the target folder is ever
// followed: entries reached through one are refused, and every move goes through the
// provider's operations that follow none and hold the folders on the way. A staging folder
// is made new each time (never reused), for the administrators only, and held open while it
// is used; one is taken for ours only when its owner is an administrator and its journal
// carries a check keyed with the machine's secret, which a standard user cannot read. Only
// one install works in a folder at a time, whichever copy of the program runs it.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sodium.h>
#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/sys.h"
#include "platform/text.h"
#include "update/package.h"
#include "update/tempfiles.h"

static const char kStageName[] = "~qxstage";
// The file that marks a staging folder as this program's, and the journal of its moves.
static const char kStageMark[] = "qxstage.tag";
static const char kStageMarkText[] = "A staging folder of the Corvanware Updater.\r\n";
static const char kJournalName[] = "journal";
static const char kJournalDraft[] = "journal.new"; // written whole, then renamed "journal"
static const char kJournalHead[] = "QXUpdate journal 2";

// Device names that open a device instead of a file in any folder.
static int IsDeviceName(const char* part, size_t length) {
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    size_t base = 0;
    while (base < length && part[base] != '.')
        base++;
    while (base > 0 && part[base - 1] == ' ')
        base--;
    char name[8];
    if (base == 0 || base >= sizeof name) return 0;
    CopyTextN(name, sizeof name, part, base);
    SysUpperCase(name);
    for (size_t i = 0; i < sizeof kDevices / sizeof kDevices[0]; i++)
        if (strcmp(name, kDevices[i]) == 0) return 1;
    return base == 4 && (StartsWith(name, "COM") || StartsWith(name, "LPT")) && name[3] >= '0' &&
           name[3] <= '9';
}

// Checks the parts of a relative name. Windows drops trailing dots and blanks of a part, so
// "sub." would reach "sub" and ". ." would act as "..": a part ending in either is refused
// unless it is a single ".".
static int CheckEntryName(const char* name) {
    if (!name[0] || IsPathSeparator(name[0])) return ERR_INVALID_NAME;
    const char* part = name;
    for (const char* p = name;; p++) {
        unsigned char c = (unsigned char)*p;
        if (c == 0 || IsPathSeparator((char)c)) {
            size_t length = (size_t)(p - part);
            int single = length == 1 && part[0] == '.';
            if (c == 0 && (length == 0 || single)) return ERR_INVALID_NAME; // a folder
            if (length > 0 && !single && (part[length - 1] == '.' || part[length - 1] == ' '))
                return ERR_INVALID_NAME;
            if (IsDeviceName(part, length)) return ERR_INVALID_NAME;
            if (c == 0) return 0;
            part = p + 1;
            continue;
        }
        if (c < 32 || strchr(":*?\"<>|", (char)c)) return ERR_INVALID_NAME;
    }
}

int JoinEntryPath(const char* folder, const char* name, char* out, size_t size) {
    if (size == 0) return ERR_FILENAME_EXCED_RANGE;
    out[0] = 0;
    if (IsPathSeparator(name[0])) name++;
    int e = CheckEntryName(name);
    if (e) return e;
    size_t folderLength = strlen(folder);
    size_t need = folderLength + 1 + strlen(name) + 1;
    if (need > size) return ERR_FILENAME_EXCED_RANGE;
    CopyText(out, size, folder);
    if (folderLength == 0 || !IsPathSeparator(folder[folderLength - 1])) AppendText(out, size, "\\");
    AppendText(out, size, name);
    if (strchr(out, '/'))
        for (char* p = out; *p; p++)
            if (*p == '\\') *p = '/';
    return 0;
}

// ---------------------------------------------------------------------------------------

// A growing list of zero-terminated names.
struct NameList {
    char* text;
    size_t used, capacity;
    uint32_t count;
    int error; // the first failure to add one
};

static int AddName(NameList* list, const char* name, size_t length) {
    if (list->used + length + 1 > list->capacity) {
        size_t capacity = (list->capacity + length + 1) * 2;
        char* grown = (char*)realloc(list->text, capacity);
        if (!grown) return list->error = ERR_NOT_ENOUGH_MEMORY;
        list->text = grown, list->capacity = capacity;
    }
    memcpy(list->text + list->used, name, length);
    list->text[list->used + length] = 0;
    list->used += length + 1;
    list->count++;
    return 0;
}

struct Staging {
    const FsProvider* fs;
    char target[PACKAGE_PATH_SIZE];
    char stage[PACKAGE_PATH_SIZE]; // the staging folder
    char stageName[32];            // its name inside the target folder
    NameList names;                // the staged files' names relative to the target folder
    const char** steps;            // the same names by step number - 1
    FsFile* held;                  // the staging folder, held open while it is used
    SysFolderLock* lock;           // the claim on the target folder
};

static void StagePath(const char* stage, const char* name, char* out, size_t size) {
    FormatText(out, size, "%s\\%s", stage, name);
}

// The staged file ('f') or the backup of the file it replaces ('b') of a step.
static void StepPath(const Staging* s, char kind, uint32_t step, char* out, size_t size) {
    FormatText(out, size, "%s\\%c%u", s->stage, kind, (unsigned)step);
}

// Checks every part of a joined entry path below the target folder: each folder on the way
// must be one and no link, and the entry, where it exists, a plain file that may be written.
static int CheckEntryWay(const FsProvider* fs, char* joined, size_t start) {
    uint32_t attributes = 0;
    for (char* p = joined + start; *p; p++) {
        if (!IsPathSeparator(*p)) continue;
        char separator = *p;
        *p = 0;
        int e = fs->GetAttributes(joined, &attributes);
        *p = separator;
        if (e || !(attributes & FILE_ATTR_DIRECTORY)) return ERR_PATH_NOT_FOUND;
        if (attributes & FILE_ATTR_REPARSE_POINT) return ERR_STOPPED_ON_SYMLINK;
    }
    if (fs->GetAttributes(joined, &attributes)) return 0; // a new file
    if (attributes & FILE_ATTR_REPARSE_POINT) return ERR_STOPPED_ON_SYMLINK;
    return attributes & (FILE_ATTR_DIRECTORY | FILE_ATTR_READONLY) ? ERR_ACCESS_DENIED : 0;
}

// Whether a name has the form of a staging folder's: "~qxstage" and digits, in any case.
static int IsStageName(const char* name, size_t length) {
    size_t prefix = sizeof kStageName - 1;
    if (length < prefix || length - prefix > 9) return 0;
    char start[sizeof kStageName];
    CopyTextN(start, sizeof start, name, prefix);
    if (SysCompareNoCase(start, kStageName) != 0) return 0;
    for (size_t i = prefix; i < length; i++)
        if (name[i] < '0' || name[i] > '9') return 0;
    return 1;
}

// Whether the folder 'name' inside 'folder' is a staging folder of this program: a name of
// the staging form with the mark inside. Every stage that is committed, undone or removed,
// and every entry name that reaches into one, is judged here. Sets stage to its path.
static int IsOurStage(const FsProvider* fs, const char* folder, const char* name, char* stage, size_t size) {
    if (!IsStageName(name, strlen(name)) || JoinEntryPath(folder, name, stage, size)) return 0;
    if (fs->CheckOwner(stage)) return 0; // a link, or made by someone else
    char mark[PACKAGE_PATH_SIZE];
    StagePath(stage, kStageMark, mark, sizeof mark);
    uint32_t attributes = 0;
    return fs->GetAttributes(mark, &attributes) == 0 &&
           !(attributes & (FILE_ATTR_DIRECTORY | FILE_ATTR_REPARSE_POINT));
}

// Whether the first folder of an entry name ("." parts aside) is a staging folder: the one
// of this extraction (current) or one that an earlier run could not delete.
static int NamesStage(const FsProvider* fs, const char* folder, const char* current, const char* name) {
    for (;;) {
        while (IsPathSeparator(*name))
            name++;
        size_t n = 0;
        while (name[n] && !IsPathSeparator(name[n]))
            n++;
        if (n == 1 && name[0] == '.') {
            name++;
            continue;
        }
        char first[32], path[PACKAGE_PATH_SIZE];
        if (n == 0 || n >= sizeof first) return 0;
        CopyTextN(first, sizeof first, name, n);
        if (current && SysCompareNoCase(first, current) == 0) return 1;
        return IsOurStage(fs, folder, first, path, sizeof path);
    }
}

// The length of the part of a joined path that JoinEntryPath puts before the name.
static size_t FolderPrefix(const char* folder) {
    size_t n = strlen(folder);
    return n && IsPathSeparator(folder[n - 1]) ? n : n + 1;
}

// The entry callback of an update: refuses what the in-place writing would have failed
// on (a missing folder, a read-only file or a folder of the entry's name) and sends the
// data to the staging folder.
static int StageEntry(char* path, const uint8_t* data, size_t size, void* user) {
    (void)size;
    Staging* s = (Staging*)user;
    if (data) return 0;
    if (!path[0]) return 0;
    char joined[PACKAGE_PATH_SIZE];
    int e = JoinEntryPath(s->target, path, joined, sizeof joined);
    if (e) return -e;
    if (NamesStage(s->fs, s->target, s->stageName, path)) return -ERR_PATH_NOT_FOUND; // not there before

    e = CheckEntryWay(s->fs, joined, FolderPrefix(s->target));
    if (e) return -e;

    const char* relative = joined + FolderPrefix(s->target);
    e = AddName(&s->names, relative, strlen(relative));
    if (e) return -e;
    StepPath(s, 'f', s->names.count, path, PACKAGE_PATH_SIZE);
    return 1;
}

// Makes a new staging folder, never one that exists, and holds it while it is used.
static int CreateStage(Staging* s) {
    for (int n = 0; n < 100; n++) {
        if (n == 0)
            CopyText(s->stageName, sizeof s->stageName, kStageName);
        else
            FormatText(s->stageName, sizeof s->stageName, "%s%d", kStageName, n);
        if (JoinEntryPath(s->target, s->stageName, s->stage, sizeof s->stage))
            return ERR_FILENAME_EXCED_RANGE;
        int e = s->fs->CreateFolderNew(s->stage);
        if (e == ERR_ALREADY_EXISTS || e == ERR_FILE_EXISTS) continue;
        if (!e) e = s->fs->Hold(s->stage, &s->held);
        char mark[PACKAGE_PATH_SIZE];
        StagePath(s->stage, kStageMark, mark, sizeof mark);
        if (!e) e = s->fs->WriteWhole(mark, kStageMarkText, sizeof kStageMarkText - 1);
        if (e) {
            s->fs->Delete(mark);
            if (s->held) s->fs->Close(s->held);
            s->held = NULL;
            s->fs->RemoveFolder(s->stage);
        }
        return e;
    }
    return ERR_ALREADY_EXISTS;
}

static int CollectEntry(const FsEntry* entry, void* context) {
    NameList* list = (NameList*)context;
    // 'd' a folder, 'l' a link to a folder (removed without following it), 'f' a file
    char kind = 'f';
    if (entry->attributes & FILE_ATTR_DIRECTORY)
        kind = (entry->attributes & FILE_ATTR_REPARSE_POINT) ? 'l' : 'd';
    char item[PACKAGE_PATH_SIZE];
    FormatText(item, sizeof item, "%c%s", kind, entry->name);
    return AddName(list, item, strlen(item)) != 0;
}

// Hands a file that cannot be deleted now to the system for its next restart, under a
// name no later install can take: by its own name, a file of a later stage would go instead.
static void DeleteLeftoverAtRestart(const FsProvider* fs, const char* stage, const char* path) {
    char unique[20], name[PACKAGE_PATH_SIZE];
    if (!fs->DeleteAtRestart || MakeRandomName(unique, sizeof unique)) return;
    FormatText(name, sizeof name, "%s\\z%s", stage, unique);
    if (fs->Move(path, name) == 0) fs->DeleteAtRestart(name);
}

// Deletes a staging folder, its mark last, so that what cannot be deleted now (a replaced
// program file that is still running) keeps it recognisable for the next start, which
// deletes the rest; the file itself goes at the system's next restart. The folder is
// released just before it is removed.
static void RemoveStage(const FsProvider* fs, const char* stage, FsFile** held) {
    NameList entries = {};
    int failed = fs->Enumerate(stage, CollectEntry, &entries) || entries.error;
    const char* item = entries.text;
    for (uint32_t i = 0; i < entries.count; i++, item += strlen(item) + 1) {
        if (strcmp(item + 1, kStageMark) == 0) continue;
        char path[PACKAGE_PATH_SIZE];
        StagePath(stage, item + 1, path, sizeof path);
        int e = item[0] == 'd'   ? FsDeleteTree(fs, path)
                : item[0] == 'l' ? fs->RemoveFolder(path)
                                 : fs->Delete(path);
        if (e) {
            failed = 1;
            if (item[0] == 'f') DeleteLeftoverAtRestart(fs, stage, path);
        }
    }
    free(entries.text);
    char mark[PACKAGE_PATH_SIZE];
    StagePath(stage, kStageMark, mark, sizeof mark);
    if (!failed && fs->Delete(mark) == 0) {
        if (*held) fs->Close(*held);
        *held = NULL;
        fs->RemoveFolder(stage);
    }
}

// The journal's check: BLAKE2b keyed with the machine's secret over the target folder's
// identity and the journal's lines, so that it cannot be made without the secret, nor a
// journal of one folder moved to another. Writes 32 hex digits and a zero into check.
enum { JOURNAL_CHECK_SIZE = 16, END_LINE_SIZE = 4 + 2 * JOURNAL_CHECK_SIZE + 2 };
static int JournalCheck(const char* target, const char* text, size_t size, char* check) {
    uint8_t key[SYS_SECRET_SIZE], mac[JOURNAL_CHECK_SIZE];
    uint64_t identity[2];
    int e = SysMachineSecret(key);
    if (!e) e = SysFileIdentity(target, &identity[0], &identity[1]);
    if (!e && sodium_init() < 0) e = ERR_GEN_FAILURE;
    if (e) return e;
    crypto_generichash_state state;
    crypto_generichash_init(&state, key, sizeof key, sizeof mac);
    crypto_generichash_update(&state, (const uint8_t*)identity, sizeof identity);
    crypto_generichash_update(&state, (const uint8_t*)text, size);
    crypto_generichash_final(&state, mac, sizeof mac);
    sodium_memzero(key, sizeof key);
    sodium_bin2hex(check, 2 * JOURNAL_CHECK_SIZE + 1, mac, sizeof mac);
    return 0;
}

// The journal: a head line, the number of steps, one name per step, and an end line with
// the check of everything before it. Lines end in CR LF; names hold no control characters.
// It is written under another name and renamed once whole, so that a journal is never
// found cut short: one that fails its check was not made by this program here.
static int WriteJournal(const Staging* s) {
    size_t capacity = s->names.used + s->names.count + 64, used = 0;
    char* text = (char*)malloc(capacity);
    if (!text) return ERR_NOT_ENOUGH_MEMORY;
    used += FormatText(text, capacity, "%s\r\n%u\r\n", kJournalHead, (unsigned)s->names.count);
    for (uint32_t i = 0; i < s->names.count; i++)
        used += FormatText(text + used, capacity - used, "%s\r\n", s->steps[i]);
    char check[2 * JOURNAL_CHECK_SIZE + 1];
    int e = JournalCheck(s->target, text, used, check);
    used += FormatText(text + used, capacity - used, "end %s\r\n", check);

    char path[PACKAGE_PATH_SIZE], draft[PACKAGE_PATH_SIZE];
    StagePath(s->stage, kJournalName, path, sizeof path);
    StagePath(s->stage, kJournalDraft, draft, sizeof draft);
    FsFile* file = NULL;
    if (!e) e = s->fs->Open(draft, FS_CREATE_NEW, FILE_ATTR_NORMAL, &file);
    if (!e) {
        size_t done = 0;
        e = s->fs->Write(file, text, used, &done);
        if (!e && done != used) e = ERR_WRITE_FAULT;
        if (!e && s->fs->Flush) e = s->fs->Flush(file);
        int c = s->fs->Close(file);
        if (!e) e = c;
        if (!e) e = s->fs->Replace(draft, path);
    }
    free(text);
    return e;
}

static int IndexSteps(Staging* s) {
    s->steps = (const char**)malloc((s->names.count ? s->names.count : 1) * sizeof(char*));
    if (!s->steps) return ERR_NOT_ENOUGH_MEMORY;
    const char* p = s->names.text;
    for (uint32_t i = 0; i < s->names.count; i++, p += strlen(p) + 1)
        s->steps[i] = p;
    return 0;
}

// Reads a staging folder's journal into s->names. Returns 0; ERR_FILE_NOT_FOUND when there
// is none (the process stopped before the moves began); ERR_ACCESS_DENIED when its check
// fails (not made here by this program: nothing in the folder is to be trusted);
// ERR_INVALID_DATA for a journal of ours that names what no install takes; another error
// when it cannot be read now.
static int ReadJournal(Staging* s) {
    char path[PACKAGE_PATH_SIZE];
    StagePath(s->stage, kJournalName, path, sizeof path);
    char* text = NULL;
    size_t size = 0;
    int e = s->fs->ReadWhole(path, &text, &size);
    if (e == ERR_PATH_NOT_FOUND) e = ERR_FILE_NOT_FOUND;
    if (e) return e;
    char check[2 * JOURNAL_CHECK_SIZE + 1], expected[END_LINE_SIZE + 1];
    e = size > END_LINE_SIZE ? JournalCheck(s->target, text, size - END_LINE_SIZE, check) : ERR_ACCESS_DENIED;
    if (!e) {
        FormatText(expected, sizeof expected, "end %s\r\n", check);
        if (memcmp(text + size - END_LINE_SIZE, expected, END_LINE_SIZE) != 0) e = ERR_ACCESS_DENIED;
    }
    if (e) {
        free(text);
        return ERR_ACCESS_DENIED;
    }
    // The lines before the end line: the head, the count, the names.
    char* line = text;
    char* end = text + size - END_LINE_SIZE;
    uint32_t count = 0;
    for (uint32_t n = 0; !e && line < end; n++) {
        char* stop = strstr(line, "\r\n");
        if (!stop || stop >= end) {
            e = ERR_FILE_NOT_FOUND;
            break;
        }
        *stop = 0;
        char joined[PACKAGE_PATH_SIZE];
        if (n == 0) {
            if (strcmp(line, kJournalHead) != 0) e = ERR_FILE_NOT_FOUND;
        } else if (n == 1) {
            count = (uint32_t)strtoul(line, NULL, 10);
        } else if (JoinEntryPath(s->target, line, joined, sizeof joined) ||
                   NamesStage(s->fs, s->target, NULL, line)) {
            e = ERR_FILE_NOT_FOUND; // no name an install would have taken
        } else {
            e = AddName(&s->names, line, strlen(line));
        }
        line = stop + 2;
    }
    if (!e && s->names.count != count) e = ERR_FILE_NOT_FOUND;
    // A journal of ours whose names cannot be used here (the folder spelt longer than at the
    // install) still means the moves had begun: its stage and backups must stay.
    if (e == ERR_FILE_NOT_FOUND) e = ERR_INVALID_DATA;
    free(text);
    return e;
}

// The names of a step below the target folder: the file it puts in place, the staged file
// and the backup.
static void StepNames(const Staging* s, uint32_t step, char* staged, char* backup) {
    FormatText(staged, PACKAGE_PATH_SIZE, "%s\\f%u", s->stageName, (unsigned)step);
    FormatText(backup, PACKAGE_PATH_SIZE, "%s\\b%u", s->stageName, (unsigned)step);
}

static int StageHas(const Staging* s, char kind, uint32_t step) {
    char path[PACKAGE_PATH_SIZE];
    StepPath(s, kind, step, path, sizeof path);
    return s->fs->Exists(path);
}

// Puts a staged file in place, first moving the file it replaces to the backup (unless
// that was done already).
static int DoStep(const Staging* s, uint32_t step) {
    char staged[PACKAGE_PATH_SIZE], backup[PACKAGE_PATH_SIZE];
    const char* target = s->steps[step - 1];
    StepNames(s, step, staged, backup);
    if (!StageHas(s, 'b', step)) {
        int e = s->fs->MoveBelow(s->target, target, backup, 0);
        if (e && e != ERR_FILE_NOT_FOUND) return e; // not found: a new file
    }
    return s->fs->MoveBelow(s->target, staged, target, FS_MOVE_INHERIT);
}

// The reverse: the new file back into the stage (if it got out), the replaced one in place.
static int UndoStep(const Staging* s, uint32_t step) {
    char staged[PACKAGE_PATH_SIZE], backup[PACKAGE_PATH_SIZE];
    const char* target = s->steps[step - 1];
    StepNames(s, step, staged, backup);
    int e = 0;
    if (!StageHas(s, 'f', step)) e = s->fs->MoveBelow(s->target, target, staged, 0);
    if (!e && StageHas(s, 'b', step)) e = s->fs->MoveBelow(s->target, backup, target, 0);
    return e;
}

// Undoes the steps from 'last' back to the first, stopping at one that fails, so that the
// steps done always stay a run from the first. Returns 0 when every replaced file is back.
static int UndoSteps(const Staging* s, uint32_t last) {
    for (uint32_t step = last; step >= 1; step--) {
        int e = UndoStep(s, step);
        if (e) return e;
    }
    return 0;
}

// Runs every step; when one fails, undoes it and every step before it. Returns 0 when every
// new file is in place, else the failed step's error, with *restored set when every
// replaced file is back.
static int RunSteps(const Staging* s, int* restored) {
    *restored = 0;
    for (uint32_t step = 1; step <= s->names.count; step++) {
        int e = DoStep(s, step);
        if (!e) continue;
        *restored = UndoSteps(s, step) == 0;
        return e;
    }
    return 0;
}

static int DeleteJournal(const Staging* s) {
    char path[PACKAGE_PATH_SIZE];
    StagePath(s->stage, kJournalName, path, sizeof path);
    int e = s->fs->Delete(path);
    return e == ERR_FILE_NOT_FOUND ? 0 : e;
}

// Ends a staging folder whose files are all back: the journal goes first, so that the
// folder is never taken for an install still to be undone.
static void EndStage(Staging* s) {
    if (!DeleteJournal(s)) RemoveStage(s->fs, s->stage, &s->held);
}

// Moves the staged files into place after writing the journal. Returns 0 or -1235.
static int Commit(Staging* s) {
    if (s->names.count == 0) {
        RemoveStage(s->fs, s->stage, &s->held);
        return 0;
    }
    int e = IndexSteps(s);
    if (!e) e = WriteJournal(s);
    if (e) {
        RemoveStage(s->fs, s->stage, &s->held); // nothing was moved
        return -ERR_REQUEST_ABORTED;
    }
    int restored = 0;
    e = RunSteps(s, &restored);
    // The update counts as done once the journal is gone; while it is there, the next start
    // would undo it.
    if (!e && (e = DeleteJournal(s)) != 0) restored = UndoSteps(s, s->names.count) == 0;
    if (!e) {
        RemoveStage(s->fs, s->stage, &s->held);
        return 0;
    }
    // A replaced file that could not be put back stays in the stage, with the journal, for
    // the next start to put it back.
    if (restored) EndStage(s);
    return -ERR_REQUEST_ABORTED;
}

static void FreeStaging(Staging* s) {
    if (s->held) s->fs->Close(s->held);
    SysUnlockFolder(s->lock);
    free(s->names.text);
    free(s->steps);
    free(s);
}

// Undoes the install of one staging folder of ours, and removes the folder. A stage whose
// journal fails its check is not ours to undo or delete: it is left as it is.
static int RecoverStage(const FsProvider* fs, const char* folder, const char* name, const char* stage) {
    Staging* s = (Staging*)calloc(1, sizeof *s);
    if (!s) return ERR_NOT_ENOUGH_MEMORY;
    s->fs = fs;
    CopyText(s->target, sizeof s->target, folder);
    CopyText(s->stage, sizeof s->stage, stage);
    CopyText(s->stageName, sizeof s->stageName, name);
    int e = fs->Hold(stage, &s->held);
    if (!e) e = ReadJournal(s);
    int ours = e != ERR_STOPPED_ON_SYMLINK && e != ERR_ACCESS_DENIED;
    if (e == ERR_FILE_NOT_FOUND) {
        e = 0; // stopped before the moves began
    } else if (!e && !(e = IndexSteps(s))) {
        uint32_t next = 1; // the first step not done
        while (next <= s->names.count && !StageHas(s, 'f', next))
            next++;
        e = UndoSteps(s, next <= s->names.count ? next : s->names.count);
    }
    if (!e) EndStage(s);
    FreeStaging(s);
    return ours ? e : 0;
}

static int CollectStage(const FsEntry* entry, void* context) {
    size_t n = strlen(entry->name);
    if ((entry->attributes & FILE_ATTR_DIRECTORY) && !(entry->attributes & FILE_ATTR_REPARSE_POINT) &&
        IsStageName(entry->name, n))
        return AddName((NameList*)context, entry->name, n) != 0;
    return 0;
}

// Recovers a folder whose claim this process holds.
static int RecoverClaimedFolder(const char* folder, const FsProvider* fs) {
    NameList stages = {};
    int first = fs->Enumerate(folder, CollectStage, &stages);
    if (first == ERR_PATH_NOT_FOUND || first == ERR_FILE_NOT_FOUND) first = 0;
    if (!first) first = stages.error;
    // Our stages first: an unmarked folder of the same name may be the user's, emptied by
    // the install being undone, and must be there to take its files back. Empty unmarked
    // folders go only once every stage is back.
    for (int pass = 0; pass < 2 && (pass == 0 || !first); pass++) {
        const char* name = stages.text;
        for (uint32_t i = 0; i < stages.count; i++, name += strlen(name) + 1) {
            char stage[PACKAGE_PATH_SIZE];
            int marked = IsOurStage(fs, folder, name, stage, sizeof stage);
            if (!marked && JoinEntryPath(folder, name, stage, sizeof stage)) continue;
            if (pass == 0 && marked) {
                int e = RecoverStage(fs, folder, name, stage);
                if (e && !first) first = e;
            } else if (pass == 1 && !marked) {
                // Not ours, unless empty: a run stopped between making the folder and marking it.
                fs->RemoveFolder(stage);
            }
        }
    }
    free(stages.text);
    return first;
}

int RecoverUpdateFolder(const char* folder, const FsProvider* fs) {
    if (!fs) fs = FsLocal();
    // The stages of an install another copy is running now are not to be undone.
    SysFolderLock* lock = NULL;
    int e = SysLockFolder(folder, &lock);
    if (e == ERR_PATH_NOT_FOUND || e == ERR_FILE_NOT_FOUND) return 0;
    if (e) return e;
    e = RecoverClaimedFolder(folder, fs);
    SysUnlockFolder(lock);
    return e;
}

int StageUpdate(const char* packagePath, const char* targetFolder, const PackageOptions* options,
                Staging** staged) {
    *staged = NULL;
    if (!targetFolder[0]) return ERR_PATH_NOT_FOUND;
    PackageOptions o = {};
    if (options) o = *options;
    if (!o.fs) o.fs = FsLocal();
    o.flushFiles = 1; // the journal must never name a staged file still only in the cache
    // A package that cannot be read fails as such, before anything is made in the folder.
    FsFile* package = NULL;
    int e = o.fs->Open(packagePath, FS_OPEN_READ, 0, &package);
    if (e) return e;
    o.fs->Close(package);
    Staging* s = (Staging*)calloc(1, sizeof *s);
    if (!s) return -ERR_NOT_ENOUGH_MEMORY;
    s->fs = o.fs;
    CopyText(s->target, sizeof s->target, targetFolder);
    // Without a folder to write to, no file of the package could be created; nor may one
    // be written into a folder that another install is using, or whose earlier install is
    // still unfinished.
    uint32_t attributes = 0;
    if (strlen(targetFolder) >= sizeof s->target || s->fs->GetAttributes(targetFolder, &attributes) ||
        !(attributes & FILE_ATTR_DIRECTORY) || SysLockFolder(targetFolder, &s->lock) ||
        RecoverClaimedFolder(targetFolder, s->fs) || CreateStage(s)) {
        FreeStaging(s);
        return -ERR_REQUEST_ABORTED;
    }
    int result = ExtractPackageWith(packagePath, StageEntry, s, &o);
    if (result) {
        RemoveStage(s->fs, s->stage, &s->held);
        FreeStaging(s);
        return result;
    }
    *staged = s;
    return 0;
}

int CommitStage(Staging* staged) {
    if (!staged) return ERR_INVALID_PARAMETER;
    char stage[PACKAGE_PATH_SIZE];
    int result = -ERR_REQUEST_ABORTED;
    if (IsOurStage(staged->fs, staged->target, staged->stageName, stage, sizeof stage))
        result = Commit(staged);
    FreeStaging(staged);
    return result;
}

void AbandonStage(Staging* staged) {
    if (!staged) return;
    char stage[PACKAGE_PATH_SIZE];
    if (IsOurStage(staged->fs, staged->target, staged->stageName, stage, sizeof stage))
        RemoveStage(staged->fs, staged->stage, &staged->held);
    FreeStaging(staged);
}

int ExtractUpdatePackageWith(const char* packagePath, const char* targetFolder, const FsProvider* fs) {
    PackageOptions options = {};
    options.fs = fs;
    Staging* staged = NULL;
    int result = StageUpdate(packagePath, targetFolder, &options, &staged);
    return result ? result : CommitStage(staged);
}

int ExtractUpdatePackage(const char* packagePath, const char* targetFolder) {
    return ExtractUpdatePackageWith(packagePath, targetFolder, NULL);
}
