// The batch driver. Its sequence grows with the runtime libraries it calls.
#include "app/driver.h"

void driver_clear(void) {}

void driver_main(void) {}
