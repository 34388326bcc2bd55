// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/sound_file_lookup.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace zelmoro::platform {

namespace {

bool isReadableFile(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    return ::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(native.constData(), R_OK) == 0;
}

} // namespace

QStringList soundFileFolders(const QString &programDir)
{
    QStringList folders{QDir::currentPath()};
    if (!programDir.isEmpty())
        folders << programDir << QDir::cleanPath(programDir + QStringLiteral("/../share/zelmoro"));
#ifdef ZELMORO_DATA_DIR
    folders << QStringLiteral(ZELMORO_DATA_DIR);
#endif
    return folders;
}

QString findSoundFile(const QString &name, const QStringList &folders)
{
    if (name.isEmpty())
        return {};
    if (name.contains(QLatin1Char('/')))
        return isReadableFile(name) ? name : QString();
    for (const QString &folder : folders) {
        const QString candidate = QDir(folder).filePath(name);
        if (isReadableFile(candidate))
            return QDir::cleanPath(QDir(folder).absoluteFilePath(name));
    }
    return {};
}

} // namespace zelmoro::platform
