// The Windows error numbers that the portable code returns and tests for. The values are
// the system's, so a result can be handed to the system's message table unchanged.
#pragma once

enum {
    ERR_SUCCESS = 0,
    ERR_INVALID_FUNCTION = 1,
    ERR_FILE_NOT_FOUND = 2,
    ERR_PATH_NOT_FOUND = 3,
    ERR_ACCESS_DENIED = 5,
    ERR_INVALID_HANDLE = 6,
    ERR_NOT_ENOUGH_MEMORY = 8,
    ERR_INVALID_DATA = 13,
    ERR_CRC = 23,
    ERR_WRITE_FAULT = 29,
    ERR_READ_FAULT = 30,
    ERR_GEN_FAILURE = 31,
    ERR_SHARING_VIOLATION = 32,
    ERR_HANDLE_EOF = 38,
    ERR_NOT_SUPPORTED = 50,
    ERR_FILE_EXISTS = 80,
    ERR_INVALID_PARAMETER = 87,
    ERR_OPEN_FAILED = 110,
    ERR_DISK_FULL = 112,
    ERR_INVALID_NAME = 123,
    ERR_DIR_NOT_EMPTY = 145,
    ERR_MAX_THRDS_REACHED = 164,
    ERR_ALREADY_EXISTS = 183,
    ERR_FILENAME_EXCED_RANGE = 206,
    ERR_WAIT_TIMEOUT = 258,
    ERR_STOPPED_ON_SYMLINK = 681,
    ERR_OPERATION_ABORTED = 995,
    ERR_NOACCESS = 998,
    ERR_IO_DEVICE = 1117,
    ERR_REQUEST_ABORTED = 1235,
    ERR_TIMEOUT = 1460,
};

// File attribute bits, as the system defines them.
enum {
    FILE_ATTR_READONLY = 0x1,
    FILE_ATTR_HIDDEN = 0x2,
    FILE_ATTR_SYSTEM = 0x4,
    FILE_ATTR_DIRECTORY = 0x10,
    FILE_ATTR_ARCHIVE = 0x20,
    FILE_ATTR_NORMAL = 0x80,
    FILE_ATTR_REPARSE_POINT = 0x400,
};
