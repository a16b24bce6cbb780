/* The interface between the plug-in QVT.ovp and its editor module
 * qvtEd.htd, which edits effect parameter records and shows the About box.
 *
 * The plug-in looks for the editor module in its own folder, loads it with
 * LoadLibraryA for each request, finds the exports below by name with
 * GetProcAddress, calls DllInitialize and then one of ShowEditor or
 * ShowAbout, and frees the module with FreeLibrary. A module that lacks an
 * export fails the request (FALSE). The exports use the platform's C
 * calling convention; every argument is pointer-sized. No export may let an
 * exception escape: failures are reported as FALSE.
 *
 * Strings are zero-terminated 8-bit texts. A new record is handed over in a
 * GlobalAlloc (GMEM_FIXED) block that the host owns afterwards. */
#ifndef QVT_QVTEDITOR_H
#define QVT_QVTEDITOR_H

#include <stdint.h>

#include "qvt/ovplugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The module's file name, looked for next to the plug-in. */
#define QVT_EDITOR_FILE "qvtEd.htd"

/* The plug-in's title, maker and description: what ovInitPlugIn hands the
 * host and what the About box shows. */
#define QVT_PLUGIN_TITLE "Quorvane Transitions"
#define QVT_PLUGIN_PUBLISHER "QuorvaneSoft"
#define QVT_PLUGIN_HINT "Transition effects plug-in"

/* Called right after every load with the values the host gave the plug-in.
 * Reserved1, Reserved2, Reserved4, Reserved5 are host slots that are always
 * 0; any argument may be 0/NULL when the host did not supply it. The result
 * is not used. */
typedef BOOL (*QvtDllInitializeProc)(OvGetHostVariableProc GetHostVariable, intptr_t Reserved1, intptr_t Reserved2,
                                     intptr_t InterfaceAccess, intptr_t Reserved4, intptr_t Reserved5,
                                     OvRegisterEffectProc HostRegisterEffect, OvStreamAccessProc StreamAccess,
                                     HWND HostWindow);
#define QVT_DLL_INITIALIZE "DllInitialize"

/* The edit request. Params points to the current record, Length characters
 * long (no terminator needed; an empty record has Length 0). On TRUE the
 * module has stored a new record, in a zero-terminated GlobalAlloc block,
 * in *NewParams; on FALSE it leaves *NewParams alone. Reserved points to a
 * 32-bit value the caller does not read afterwards. */
typedef BOOL (*QvtShowEditorProc)(HWND HostWindow, const char *Params, char **NewParams, intptr_t Length,
                                  int32_t *Reserved, intptr_t InterfaceAccess);
#define QVT_SHOW_EDITOR "ShowEditor"

/* The About box; its result is ovAbout's. */
typedef BOOL (*QvtShowAboutProc)(HWND HostWindow);
#define QVT_SHOW_ABOUT "ShowAbout"

#ifdef __cplusplus
}
#endif

#endif
