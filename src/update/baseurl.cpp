// The update server's base URL, set when the program is built.
#include "update/download.h"

char gUpdateBaseUrl[1024] = QX_UPDATE_BASE_URL;
