/* What both probe libraries share beside their probes: the Windows
 * notification routine, which answers success and does nothing else, and
 * the text printed for a null file name. Only C headers, as in the units. */
#ifndef QUELLOT_MODULE_H
#define QUELLOT_MODULE_H

#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
#endif

/* printf's "%s" is undefined for a null pointer; print the "(null)" that the
 * common runtimes print for it, so the line is the same everywhere. */
static const char *printable(const char *filename)
{
    return filename != nullptr ? filename : "(null)";
}

#endif
