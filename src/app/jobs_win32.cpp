// The worker job frame: every background job runs in it.
#include "app/jobs.h"
#include <stdlib.h>
#include "app/appstate.h"
#include "app/commands.h"
#include "app/listview.h"
#include "app/mainwindow.h"
#include "update/statusline.h"

JobTable gJobs = {CatalogueJob, DriveScanJob, UpdateRunJob, EditionJob};

struct JobStart {
    JobWork work;
    void* parameter;
    int clearPane0;
};

WPARAM JobEndedKey() {
    return (WPARAM)&gJobs;
}

int StartWorker(LPTHREAD_START_ROUTINE procedure, void* parameter) {
    HANDLE thread = CreateThread(NULL, 0, procedure, parameter, 0, NULL);
    if (!thread) return (int)GetLastError();
    CloseHandle(thread);
    return 0;
}

static DWORD WINAPI JobFrame(void* parameter) {
    JobStart job = *(JobStart*)parameter;
    free(parameter);
    PaneSetIcon(&gStatusLine, gApp->activityIcon, 2, 100);
    UpdateCommandStates(gMainWindow);
    job.work(job.parameter);
    if (job.clearPane0) PaneSetText(&gStatusLine, "", 0, 100);
    PaneSetIcon(&gStatusLine, NULL, 2, 100);
    // The last step: once busyCount is down the window may close and the program end, so
    // the window thread lowers it and this thread touches nothing afterwards.
    SendMessageA(gMainWindow, MSG_JOB_ENDED, JobEndedKey(), 0);
    return 0;
}

int StartJob(JobWork work, void* parameter, int clearPane0) {
    JobStart* job = (JobStart*)malloc(sizeof(JobStart));
    if (!job) return ERROR_NOT_ENOUGH_MEMORY;
    job->work = work, job->parameter = parameter, job->clearPane0 = clearPane0;
    InterlockedIncrement(&gApp->busyCount);
    UpdateCommandStates(gMainWindow);
    // Cleared here, before the thread exists: a Stop given from now on reaches the job, however
    // long the thread takes to get going.
    gApp->cancelRequested = 0;
    int r = StartWorker(JobFrame, job);
    if (r) {
        free(job);
        InterlockedDecrement(&gApp->busyCount);
        UpdateCommandStates(gMainWindow);
    }
    return r;
}

int WaitForJobs(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (gApp->busyCount != 0) {
        if (GetTickCount() - start >= timeoutMs) return WAIT_TIMEOUT;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_SENDMESSAGE);
        MSG message;
        PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return 0;
}
