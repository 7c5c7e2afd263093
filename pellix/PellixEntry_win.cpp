// Load-time entry point of Pellix.dll.
//
// The full Windows build is an extension library of Microsoft's class library: on process
// attach its entry point calls AfxInitExtensionModule and then creates a CDynLinkLibrary
// object (a failed registration fails the load), and on process detach it calls
// AfxTermExtensionModule. That class library is not part of this build. The six functions
// need no initialisation of their own and no registration, so this entry point only accepts
// the load.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    // Thread attach and detach have nothing to do.
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}
