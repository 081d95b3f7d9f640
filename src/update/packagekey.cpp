// The vendor's package signing keys, set when the program is built.
#include "update/signature.h"

char gPackagePublicKey[PACKAGE_KEYS_MAX * PACKAGE_KEY_TEXT + 16] = QX_PACKAGE_PUBLIC_KEY;
