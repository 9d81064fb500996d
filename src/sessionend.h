#ifndef DORVANE_SESSIONEND_H
#define DORVANE_SESSIONEND_H

class TDorvane;

// Makes the end of the session a Close of the dialog: SIGTERM and SIGINT on
// Linux, the end-session message on Windows. A running sync stops after the
// file in hand, leaves its record and saves the settings before the process
// exits. Call once, after the application object exists.
void Install_Session_End(TDorvane* dialog);

#endif
