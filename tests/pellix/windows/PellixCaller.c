/* A Windows caller of Pellix.dll: it links the six functions through the import library
 * (so their declared calling convention and the exported names must agree) and also
 * resolves them by name at run time. */
#include "pellix.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(void)
{
    char record[PELLIX_ENCODEINFO2_OUT_SIZE];
    char text[PELLIX_DECODE_OUT_SIZE];
    char hex[PELLIX_STR2ASC_OUT_SIZE];
    static const char *const names[]
        = {"encodeInfo", "encodeInfo2", "decodeInfo", "decodeInfo2", "asc2Str", "str2Asc"};
    HMODULE library = LoadLibraryA("Pellix.dll");
    unsigned i;
    int failures = 0;

    if (!library) {
        printf("Pellix.dll does not load\n");
        return 1;
    }
    for (i = 0; i < sizeof names / sizeof names[0]; ++i) {
        if (!GetProcAddress(library, names[i])) {
            printf("%s is not exported\n", names[i]);
            ++failures;
        }
    }

    encodeInfo("abc", record, "0123456789ABCDEF");
    decodeInfo(record + 2, text, "0123456789ABCDEF");
    if (strcmp(text, "abc#1") != 0)
        ++failures;
    encodeInfo2("abc", record, "0123456789ABCDEF");
    decodeInfo2(record + 4, text, "0123456789ABCDEF");
    if (strcmp(text, "abc#2") != 0)
        ++failures;
    if (str2Asc("abc", hex) != 3 || strcmp(hex, "616263") != 0)
        ++failures;
    asc2Str("616263", text);
    if (strcmp(text, "abc,1") != 0)
        ++failures;

    printf(failures ? "FAILED\n" : "OK\n");
    FreeLibrary(library);
    return failures ? 1 : 0;
}
