#include "jobform/QVDownLoadNewFileU.h"

#include "config/Dialogs.h"
#include "platform/Exception.h"
#include "platform/OleDate.h"
#include "platform/Registry.h"
#include "support/AlertLog.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>
#include <type_traits>

namespace {

const char* const kGateKey = "Software\\Varn\\Hollet";
constexpr int kMessageBytes = 256;

std::string bytesOf(const QString& s) { return s.toUtf8().toStdString(); }

QString between(const QString& text, const QString& open, const QString& close)
{
    const int a = text.indexOf(open);
    if (a < 0)
        return QString();
    const int from = a + open.size();
    const int b = text.indexOf(close, from);
    return b < 0 ? QString() : text.mid(from, b - from);
}

// The folder part of a server path, its last separator included.
QString folderOf(const QString& path)
{
    const int at = std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
    return at < 0 ? QString() : path.left(at + 1);
}

// A download failed: said at once, or asked about; true when the user wants another try.
bool retryAfter(const QString& text, bool interactive, QWidget* parent)
{
    if (interactive && MessageDlg(text, mtError, {mbAbort, mbRetry}, parent) == mrRetry)
        return true;
    throw Exception(bytesOf(text));
}

} // namespace

TQVDownLoad::TQVDownLoad(const QString& libraryName)
{
    FHandle = LoadLibrary(bytesOf(libraryName));
    if (!FHandle)
        return;
    const auto bind = [this](auto& slot, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(GetProcAddress(FHandle, name));
    };
    bind(FQVDownLoadFileEx, "QVDownLoadFileEx");
    bind(FUnZipFilesOrDir, "UnZipFilesOrDir");
    bind(FCompareFileToDown, "CompareFileToDown");
    bind(FCompareFileToDownEx, "CompareFileToDownEx");
    bind(FNeedDownLoad, "NeedDownLoad");
    bind(FUnZipFilesList, "UnZipFilesList");
    bind(FUnZipFilesXML, "UnZipFilesXML");
    bind(FGetFileList, "GetFileList");
}

TQVDownLoad::~TQVDownLoad()
{
    if (FHandle)
        FreeLibrary(FHandle);
}

bool TQVDownLoad::CompareFileToDown(const QString& stamp, const QString& localFile) const
{
    if (!FCompareFileToDown)
        throw Exception("function QvDownLoad.CompareFileToDown not found!");
    return FCompareFileToDown(bytesOf(stamp).c_str(), bytesOf(localFile).c_str());
}

bool TQVDownLoad::DownLoadFile(const QString& remoteFile, const QString& localZip, QString& errorText) const
{
    if (!FQVDownLoadFileEx) {
        errorText = QStringLiteral("function QvDownLoad.QVDownLoadFile not found!");
        return false;
    }
    char message[kMessageBytes] = {};
    int count = 0;
    int code = 0;
    const bool ok = FQVDownLoadFileEx(0, bytesOf(FSource).c_str(), "Varn", "60", bytesOf(remoteFile).c_str(),
                                      bytesOf(localZip).c_str(), &count, message, &code, false);
    message[kMessageBytes - 1] = '\0';
    errorText = ok ? QString() : QString::fromUtf8(message);
    return ok;
}

bool TQVDownLoad::UnZipFilesOrDir(const QString& zipFile, const QString& folder, QString& errorText) const
{
    if (!FUnZipFilesOrDir) {
        errorText = QStringLiteral("function QvDownLoad.UnZipFilesOrDir not found!");
        return false;
    }
    char message[kMessageBytes] = {};
    int code = 0;
    const bool ok = FUnZipFilesOrDir(bytesOf(zipFile).c_str(), bytesOf(folder).c_str(), message, &code);
    message[kMessageBytes - 1] = '\0';
    errorText = ok ? QString() : QString::fromUtf8(message);
    return ok;
}

FileDescription ParseFileDescription(const QString& description)
{
    FileDescription d;
    QString path;
    if (description.contains(QLatin1String("<Modify>")) || description.contains(QLatin1String("<Path>"))) {
        d.stamp = between(description, QStringLiteral("<Modify>"), QStringLiteral("</Modify>"));
        path = between(description, QStringLiteral("<Path>"), QStringLiteral("</Path>"));
    } else {
        d.stamp = between(description, QStringLiteral("Modify = '"), QStringLiteral("'"));
        path = between(description, QStringLiteral("Path = '"), QStringLiteral("'"));
    }
    d.serverFolder = folderOf(path);
    return d;
}

void WriteDownLoadLog(const QString& message)
{
    // Beside the program, unless the installation keeps its logs elsewhere.
    if (const std::string logs = GetLogPath(); !logs.empty())
        writeAlertLogIn(logs, "QVDownLoadNewFileU", bytesOf(message), "D", Now());
    else
        writeAlertLogAt(programFolder(), "QVDownLoadNewFileU", bytesOf(message), "D", Now());
}

bool UpdateFile(const QString& fileDescription, const QString& localFile, QString& errorText, bool interactive,
                QWidget* parent)
{
    const FileDescription description = ParseFileDescription(fileDescription);
    {
        Registry gate;
        if (!gate.OpenKeyReadOnly(kGateKey)) {
            WriteDownLoadLog(QStringLiteral("Read Upgrader Registry Error: No UPGRADER_REGISTRY_PATH"));
            return true;
        }
        const bool goAhead = QString::fromStdString(gate.ReadString("GoAhead")).trimmed() == QLatin1String("1");
        gate.CloseKey();
        if (!goAhead)
            return true;
    }
    try {
        const TQVDownLoad downLoad;
        if (!downLoad.CompareFileToDown(description.stamp, localFile))
            return true;
        if (localFile.contains(QLatin1String("\\\\")) || localFile.startsWith(QLatin1String("//")))
            throw Exception(bytesOf(QStringLiteral("Net File can't update![%1]").arg(localFile)));

        QString folder = description.serverFolder.trimmed();
        if (!folder.endsWith(QLatin1Char('\\')) && !folder.endsWith(QLatin1Char('/')))
            folder += folder.contains(QLatin1Char('\\')) && !folder.contains(QLatin1Char('/')) ? QLatin1Char('\\')
                                                                                              : QLatin1Char('/');
        const QFileInfo local(localFile);
        const QString remoteFile = folder + local.fileName().toLower() + QStringLiteral(".zip");
        // A folder of this process's own in the temporary folder: a shared one would let
        // another user put an archive of their own under the name that is opened.
        QTemporaryDir scratch(QFileInfo(QDir::tempPath()).canonicalFilePath() + QStringLiteral("/qvdownload-XXXXXX"));
        if (!scratch.isValid())
            throw Exception(bytesOf(QStringLiteral("DownLoad new file[%1] failed. %2")
                                        .arg(localFile, QStringLiteral("no temporary folder"))));
        const QString localZip = scratch.path() + QLatin1Char('/') + local.fileName() + QStringLiteral(".zip");

        for (QString why; !downLoad.DownLoadFile(remoteFile, localZip, why);)
            retryAfter(QStringLiteral("DownLoad new file[%1] failed. %2").arg(localFile, why), interactive, parent);
        for (QString why; !downLoad.UnZipFilesOrDir(localZip, local.absolutePath(), why);)
            retryAfter(QStringLiteral("Unzip new file[%1] failed. %2").arg(localFile, why), interactive, parent);
        return true;
    } catch (const std::exception& e) {
        errorText = QString::fromUtf8(e.what());
        WriteDownLoadLog(errorText);
        return false;
    }
}
