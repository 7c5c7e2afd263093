#ifndef SDTAPI_SDTAPI_H
#define SDTAPI_SDTAPI_H

// The card reader library's four functions, as programs import them by name.
// On Windows they use the Windows API calling convention and SDTAPI.def exports
// them undecorated (also in a 32-bit build), like the maker's own library.
#if defined(_WIN32)
#define SDTAPI_CALL __stdcall
#define SDTAPI_EXPORT
#else
#define SDTAPI_CALL
#define SDTAPI_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Opens the reader on `port` (1001 to 1016 for USB, 1 to 16 for serial).
// 1 when the reader answers, 0 otherwise.
SDTAPI_EXPORT int SDTAPI_CALL InitComm(int port);

// Finds and selects the card on the opened reader: 1 when one is selected, 0 otherwise.
SDTAPI_EXPORT int SDTAPI_CALL Authenticate(void);

// Reads the selected card: its text fields into `message` (at most 304 bytes,
// each field in the local 8-bit code page followed by a zero byte), the byte count
// into `*length`, and its photo as "photo.bmp" into the folder named by the
// zero-terminated `directory`. 1 on success, 0 otherwise.
SDTAPI_EXPORT int SDTAPI_CALL ReadBaseMsgPhoto(unsigned char *message, int *length, char *directory);

// Closes the reader. 1 when it was open, 0 otherwise.
SDTAPI_EXPORT int SDTAPI_CALL CloseComm(void);

#ifdef __cplusplus
}
#endif

#endif
