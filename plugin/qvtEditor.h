// The bridge to the editor module qvtEd.htd: editing a parameter record and
// the About box are done by that module, which is loaded from the plug-in's
// own folder for each request and freed again on every path.
#ifndef QVT_PLUGIN_QVTEDITOR_H
#define QVT_PLUGIN_QVTEDITOR_H

#include <cstddef>
#include <string>

#include "qvt/qvteditor.h"

namespace qvt::plugin {

inline constexpr char kEditorFileName[] = QVT_EDITOR_FILE;

// The plug-in module's folder with kEditorFileName appended. Raises the
// Can't load error when the plug-in cannot find its own file.
std::string EditorModulePath();

// Runs the editor on a record of length characters. True when the person
// accepted and *newParams holds the new record (a GlobalAlloc block for the
// host); false otherwise, *newParams untouched. A module that cannot be
// loaded raises Can't load "qvtEd.htd"; a missing export gives false. A
// record the module hands back that cannot be decoded is freed and raises
// an error saying so, so a faulty editor cannot replace a good record.
bool EditRecord(HWND hostWindow, const char *params, size_t length, char **newParams);

// The module's About box and its result.
bool ShowAboutBox(HWND hostWindow);

} // namespace qvt::plugin

#endif
