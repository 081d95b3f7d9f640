// The update run over the row store: which rows are updated, in which order, and what each
// row shows at the end.
#include "update/updaterun.h"
#include <string.h>
#include "catalogue/catalogue.h"
#include "catalogue/lists.h"
#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "settings/store.h"
#include "settings/strings.h"
#include "update/listsign.h"
#include "update/package.h"
#include "update/signature.h"
#include "update/tempfiles.h"

enum { RESULT_FAILED = (long)0x80004005 };

static void Finish(UpdateRun* run, int row, int state, int textId) {
    run->host->SetState(run->host->context, row, state);
    run->host->SetStateText(run->host->context, row, textId);
}

// Equal versions: up to date, unless the catalogue they were compared with has expired.
static void FinishEqual(UpdateRun* run, int row) {
    if (CatalogueOutOfDate(run->settings))
        Finish(run, row, ROW_ERROR, TEXT_LIST_OUT_OF_DATE);
    else
        Finish(run, row, ROW_DONE, TEXT_UP_TO_DATE);
}

static int Cancelled(UpdateRun* run) {
    return run->host->CancelRequested(run->host->context);
}

static int StagingStopped(void* run) {
    return Cancelled((UpdateRun*)run);
}

long RequestPackage(const char* code, const char* edition, char* packagePath, size_t size) {
    if (size) packagePath[0] = 0;
    char temp[1024] = "";
    MakeTempFileName("", temp, sizeof temp);
    if (!temp[0] || !gDownload) return RESULT_FAILED;
    char request[1024];
    FormatText(request, sizeof request, "dw/a.cgi?%s%s", code, edition);
    long result = gDownload(request, temp);
    if (result == 0)
        CopyText(packagePath, size, temp);
    else if (FsLocal()->Exists(temp))
        FsLocal()->Delete(temp); // what an aborted transfer left behind
    return result;
}

// The folder of an installed program file; 0 when the path names none.
static int ProgramFolder(const char* location, char* out, size_t size) {
    const char* name = PathFileName(location);
    if (name == location) return 0;
    CopyTextN(out, size, location, (size_t)(name - location - 1));
    return out[0] != 0;
}

// Returns 0, or the text id of the reason a class list needed was refused.
static int WindowClassOf(UpdateRun* run, const Product* record, char* out, size_t size) {
    ReadValue(run->settings, CLASS_SECTION, record->code, "", out, size);
    int refused = 0;
    if (!out[0]) {
        refused = RefreshClassList(run->settings);
        ReadValue(run->settings, CLASS_SECTION, record->code, "", out, size);
    }
    if (strcmp(out, "+") == 0) CopyText(out, size, record->name);
    return refused;
}

// Closes the running copies of a product for the moves of its update; ERR_TIMEOUT when one
// will not close, as nothing is moved over a program that is still running. A refused class
// list is not guessed around: nothing is closed, and the reason's text id is the result.
static int CloseProduct(UpdateRun* run, const Product* record, int* closed, int* refusedList) {
    char windowClass[32];
    *closed = 0;
    *refusedList = WindowClassOf(run, record, windowClass, sizeof windowClass);
    if (*refusedList) return *refusedList;
    if (windowClass[0])
        *closed = run->host->CloseRunningInstances(run->host->context, windowClass, record->location);
    return *closed == CLOSE_STAYED ? ERR_TIMEOUT : 0;
}

int UpdateProduct(UpdateRun* run, int row, Product* record, char* packagePath, size_t size) {
    const UpdateHost* host = run->host;
    char folder[1024];
    // A row of the catalogue that is not installed has nowhere to go.
    if (!ProgramFolder(record->location, folder, sizeof folder)) {
        host->SetStateText(host->context, row, TEXT_INSTALL_ERROR);
        return ERR_PATH_NOT_FOUND;
    }
    char edition[4];
    ReadValue(run->settings, EDITION_SECTION, "Default", "", edition, sizeof edition);
    if (!edition[0]) CopyText(edition, sizeof edition, "d");
    long requested = RequestPackage(record->code, edition, packagePath, size);
    if (requested != 0) {
        host->SetStateText(host->context, row, TEXT_DOWNLOAD_ERROR);
        return (int)requested;
    }
    // The package is checked and its files staged while the product still runs: a package
    // the vendor did not sign, a broken one, a full disk or Stop never get it closed.
    PackageOptions options = {};
    options.Stopped = StagingStopped;
    options.stopContext = run;
    Staging* staged = NULL;
    // The package must be the vendor's for this row exactly: its product code, the version the
    // catalogue gave the row and the edition asked for (when a key is built in).
    PackageBinding binding = {record->code, record->actVersion, edition};
    int result = StageCheckedUpdate(packagePath, folder, &binding, NULL, &options, &staged);
    FsLocal()->Delete(packagePath);
    packagePath[0] = 0;
    if (!result && Cancelled(run)) result = ERR_OPERATION_ABORTED;
    int closed = 0, refusedList = 0;
    if (!result) result = CloseProduct(run, record, &closed, &refusedList);
    if (result)
        AbandonStage(staged);
    else
        result = CommitStage(staged);
    if (result) host->SetStateText(host->context, row, refusedList ? refusedList : TEXT_INSTALL_ERROR);
    // The product was closed for the update: it runs again, updated or not.
    if (closed > 0) host->StartProgram(host->context, record->location);
    if (result) return result;
    host->ReadInstalledVersion(host->context, record);
    return 0;
}

// Updates one outdated row; 0 when it was updated.
static int UpdateOutdatedRow(UpdateRun* run, int row, Product* record, char* packagePath, size_t size) {
    const UpdateHost* host = run->host;
    // After Stop no further package is asked for.
    if (Cancelled(run)) {
        Finish(run, row, ROW_STOPPED, TEXT_STOPPED);
        return 1;
    }
    packagePath[0] = 0;
    int result = UpdateProduct(run, row, record, packagePath, size);
    if (result == 0) {
        // A finished update is shown as such even when Stop came during it.
        WriteProductRow(record, run->rows, row);
        Finish(run, row, ROW_DONE, TEXT_UPDATED_AT);
    } else if (Cancelled(run)) {
        Finish(run, row, ROW_STOPPED, TEXT_STOPPED);
    } else {
        host->SetState(host->context, row, ROW_ERROR);
    }
    return result;
}

void UpdateDuplicateRows(UpdateRun* run, int row, const Product* record, char* packagePath, size_t size) {
    const UpdateHost* host = run->host;
    int count = run->rows->Count(run->rows->context);
    for (int i = row; i < count; i++) {
        if (!host->IsSelected(host->context, i)) continue;
        Product copy;
        ReadProductRow(&copy, run->rows, i);
        if (strcmp(copy.code, record->code) != 0) continue;
        host->Deselect(host->context, i);
        if (strcmp(copy.actVersion, copy.instVersion) == 0) {
            FinishEqual(run, i);
            continue;
        }
        host->SetState(host->context, i, ROW_IN_PROGRESS);
        host->ShowName(host->context, copy.name);
        UpdateOutdatedRow(run, i, &copy, packagePath, size);
    }
}

// An install cut short by a crash is undone before the run looks at any version, so that
// every row's product folder holds a whole product again.
static void RecoverSelectedFolders(UpdateRun* run, int count) {
    for (int row = 0; row < count; row++) {
        if (!run->host->IsSelected(run->host->context, row)) continue;
        char location[1024], folder[1024];
        run->rows->GetText(run->rows->context, row, COL_LOCATION, location, sizeof location);
        if (ProgramFolder(location, folder, sizeof folder)) RecoverUpdateFolder(folder, NULL);
    }
}

// Whether a selected outdated row was found on disk but not yet matched with the catalogue.
static int NeedsCatalogue(UpdateRun* run, int count) {
    for (int row = 0; row < count; row++) {
        if (!run->host->IsSelected(run->host->context, row)) continue;
        Product record;
        ReadProductRow(&record, run->rows, row);
        if (!record.code[0] && strcmp(record.actVersion, record.instVersion) != 0) return 1;
    }
    return 0;
}

void UpdateRows(UpdateRun* run) {
    const UpdateHost* host = run->host;
    int count = run->rows->Count(run->rows->context);
    RecoverSelectedFolders(run, count);
    // The catalogue is fetched before any row is done: a refresh marks every outdated row
    // "Please update!" again, which would wipe the errors of rows this run has ended.
    if (NeedsCatalogue(run, count)) RefreshCatalogue(run->rows, run->settings);
    for (int row = 0; row < count; row++) {
        if (!host->IsSelected(host->context, row)) continue;
        host->Deselect(host->context, row);
        Product record;
        ReadProductRow(&record, run->rows, row);
        if (strcmp(record.actVersion, record.instVersion) == 0) {
            FinishEqual(run, row);
            continue;
        }
        if (Cancelled(run)) {
            Finish(run, row, ROW_STOPPED, TEXT_STOPPED);
            continue;
        }
        Finish(run, row, ROW_IN_PROGRESS, TEXT_IN_PROGRESS);
        host->ShowName(host->context, record.name);
        if (!record.code[0]) {
            Finish(run, row, ROW_ERROR, TEXT_NOT_IN_CATALOGUE);
            continue;
        }
        if (strcmp(record.actVersion, record.instVersion) == 0) {
            Finish(run, row, ROW_DONE, 0);
            continue;
        }
        char packagePath[1024];
        if (UpdateOutdatedRow(run, row, &record, packagePath, sizeof packagePath) == 0)
            UpdateDuplicateRows(run, row, &record, packagePath, sizeof packagePath);
    }
}
