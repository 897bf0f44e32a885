#pragma once

// Where the program finds its own files. An installed copy keeps its data
// under <prefix>/share/quillon and its helper programs under
// <prefix>/libexec/quillon, found from the executable's place so that any
// prefix works; a build tree keeps everything beside the executable.

#include <QString>

namespace base {

// The directory of the program's data: the template store, the help file
// with its pictures, the animation clip.
QString dataDirectory();
QString dataFile(const QString& name);
// A helper program such as the help viewer.
QString helperProgram(const QString& name);
// The help file: the program's own name with the extension ".HLP".
QString helpFile();
// True for a copy run from an install prefix rather than a build tree.
bool isInstalled();

} // namespace base
