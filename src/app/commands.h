// Command ids of the main window and the private messages it handles.
#pragma once
#include <windows.h>

enum {
    CMD_ESCAPE = 21,
    CMD_CLOSE = 101, // sent by other programs
    CMD_STOP = 102,
    CMD_SEARCH_UPDATES = 103,
    CMD_SEARCH_INSTALLED = 104,
    CMD_UPDATE_NOW = 105,
    CMD_PROPERTIES = 106,
    CMD_HOMEPAGE = 108,
    CMD_CONFIGURATION = 109,
    CMD_REMOVE_ROWS = 110,
    CMD_SELECT_ALL = 125,
    CMD_STARTUP = 201,
    CMD_INFORMATION = 901,
    CMD_ABOUT = 904,
};

enum {
    MSG_BRING_TO_FRONT = WM_APP + 100, // 0x8064, from other programs
    MSG_UPDATE_COMMANDS = WM_APP + 1,  // UpdateCommandStates, run on the window thread
    MSG_JOB_ENDED = WM_APP + 3,        // sent by a job as its last step: busyCount down
};
