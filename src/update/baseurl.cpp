// The vendor's addresses, set when the program is built.
#include "update/download.h"

char gUpdateBaseUrl[1024] = QX_UPDATE_BASE_URL;
const char kHomepageBaseUrl[] = QX_HOMEPAGE_BASE_URL;
