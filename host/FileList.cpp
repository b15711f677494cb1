#include "host/FileList.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

std::string DescribeServerFile(const std::vector<std::string>& workFolders, const std::string& fileName)
{
    const QString name = QString::fromStdString(fileName).trimmed();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('/')) ||
        name.contains(QLatin1Char('\\')))
        return {};
    for (const std::string& folder : workFolders) {
        const QDir dir(QString::fromStdString(folder));
        if (!dir.exists())
            continue;
        for (const QFileInfo& file : dir.entryInfoList(QDir::Files)) {
            if (file.fileName().compare(name, Qt::CaseInsensitive) != 0)
                continue;
            const QString stamp = file.lastModified().toString(QStringLiteral("yyyyMMddHHmmss"));
            return "<Modify>" + stamp.toStdString() + "</Modify><Path>" + file.absoluteFilePath().toStdString() +
                   "</Path>";
        }
    }
    return {};
}
