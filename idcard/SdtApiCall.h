#ifndef TOLVANE_SDTAPICALL_H
#define TOLVANE_SDTAPICALL_H

// The card reader library's functions use the Windows API calling convention
// on Windows, the platform's default elsewhere.
#if defined(_WIN32)
#define SDTAPI_CALL __stdcall
#else
#define SDTAPI_CALL
#endif

#endif
