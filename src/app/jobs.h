// Worker jobs: the background work the commands start, all run in one common frame.
#pragma once
#include <windows.h>

typedef void (*JobWork)(void* parameter);

// The work of each job; replaceable so that tests can run jobs they control.
struct JobTable {
    JobWork catalogue; // command 103
    JobWork driveScan; // command 104
    JobWork updateRun; // command 105
    JobWork edition;   // after start-up
};
extern JobTable gJobs;

// Creates a thread with default security and stack that starts at once; its handle is
// closed right away (the thread is never waited for). Returns 0 or a Windows error.
int StartWorker(LPTHREAD_START_ROUTINE procedure, void* parameter);
// Starts work in the job frame. The command gate is shut on the calling (window) thread
// before the thread starts, so a second start command is dropped at once.
// clearPane0: the job empties the status line's pane 0 when it ends.
int StartJob(JobWork work, void* parameter, int clearPane0);
// What a job's end message carries, so that only our own jobs lower busyCount.
WPARAM JobEndedKey();
// Waits until no job runs, carrying out meanwhile what the jobs send to the window thread.
// Returns 0, or WAIT_TIMEOUT when a job still runs after the time given.
int WaitForJobs(DWORD timeoutMs);

// The work of the jobs and of start-up and shutdown, each in its own subsystem.
void DetectInstalledProducts(HWND listView);
void SaveProductTable(HWND listView);
void EditionCheckAtStart();
void CatalogueJob(void* parameter);
void DriveScanJob(void* parameter);
void UpdateRunJob(void* parameter);
void EditionJob(void* parameter);
