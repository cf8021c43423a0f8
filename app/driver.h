// The batch driver: the program's own sequence, run once by runtime_start.
#ifndef VANTOREL_APP_DRIVER_H
#define VANTOREL_APP_DRIVER_H

// Sets the driver's process variables to zero; start-up does so before anything runs.
void driver_clear(void);
// The main sequence; returns to the runtime's shutdown on every path.
void driver_main(void);

#endif
