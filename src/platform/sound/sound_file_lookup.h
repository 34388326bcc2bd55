// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace zelmoro::platform {

// The folders a bare sound file name such as "belora.wav" is looked for in,
// in order: the current directory, the program's directory, ../share/zelmoro
// beside the program (a relocated install), and the installed data folder.
QStringList soundFileFolders(const QString &programDir);

// Finds a sound file. A name with a directory part is taken as given; a bare
// name is looked for in `folders`. Only a regular file that this user may
// read counts: a FIFO, device, folder or unreadable file under the name is
// passed over without being opened. Empty when none is found.
QString findSoundFile(const QString &name, const QStringList &folders);

} // namespace zelmoro::platform
