/* The plug-in interface between a host and the transition-effects module
 * QVT.ovp.
 *
 * A host loads the module with LoadLibraryA, finds the nine entry points by
 * name with GetProcAddress and calls them, in this order: ovInitPlugIn, then
 * the registrations (ovRegisterPlugIn, ovRegisterEffect,
 * ovRegisterInterfaceAccess, ovRegisterStreamAccess), then any number of
 * ovRenderEffect, ovEditEffect and ovAbout calls.
 *
 * All calls use the platform's C calling convention; arguments come in the
 * order and with the meaning below. Strings are zero-terminated 8-bit texts
 * in GlobalAlloc (GMEM_FIXED) blocks wherever they change owner:
 *  - the three texts of ovInitPlugIn are allocated by the plug-in and owned
 *    by the host afterwards (a second call frees the blocks it finds in the
 *    variables before storing new ones);
 *  - the text a host returns from its variable callback is allocated by the
 *    host and freed by the plug-in;
 *  - ovEditEffect frees the old parameter record when it is replaced; the
 *    new one belongs to the host.
 * Boolean results are BOOL values (TRUE = 1, FALSE = 0). No call lets an
 * exception escape: failures are shown in a message box owned by the host
 * window and reported as FALSE. */
#ifndef QVT_OVPLUGIN_H
#define QVT_OVPLUGIN_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The module's file name. */
#define OV_PLUGIN_FILE "QVT.ovp"

/* Host callbacks. */
/* Name is a host variable in square brackets, e.g. "[OvaldaVersion]"; the
 * host stores a GlobalAlloc'ed text in *Value, or leaves it NULL. */
typedef void (*OvGetHostVariableProc)(const char *Name, char **Value);
/* Registers an effect family under a number; the result is handed back by
 * ovRegisterEffect. */
typedef int (*OvRegisterEffectProc)(int Number, const char *Name);
/* Opens a file known to the host by name and hands back a stream on its
 * bytes; TRUE when *Stream was filled. */
typedef BOOL (*OvStreamAccessProc)(const char *FileName, IStream **Stream);

/* The nine entry points, in ordinal order. */
typedef void (*OvRegisterStreamAccessFn)(OvStreamAccessProc Access);
typedef void (*OvRegisterInterfaceAccessFn)(intptr_t Access);
typedef void (*OvRegisterPlugInFn)(intptr_t Arg1, intptr_t Arg2, OvGetHostVariableProc GetVariable, intptr_t Arg4);
typedef BOOL (*OvAboutFn)(void);
typedef int (*OvRegisterEffectFn)(OvRegisterEffectProc Register);
typedef BOOL (*OvEditEffectFn)(int EffectNumber, char **Params);
typedef BOOL (*OvRenderEffectFn)(int EffectNumber, HBITMAP NewPage, HDC Target, const RECT *Area,
                                 const char *Params);
typedef void (*OvMessageFn)(void);
typedef void (*OvInitPlugInFn)(HWND HostWindow, char **Title, char **Publisher, char **Hint);

#ifdef __cplusplus
}
#endif

#endif
