// Placeholder until the verification mode lands.
#include "app/verify_mode.h"

int RunVerifyMode() { return 0; }
