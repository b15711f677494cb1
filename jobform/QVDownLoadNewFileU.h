#pragma once
// The new-file check before a job's server library runs in the client process: the
// application server describes the copy it holds; when the local copy is older, the
// server's zipped copy is downloaded and unpacked over it through the download library
// QVDownLoad.so, loaded by name.
//
// Updating is done only when the registry value "GoAhead" of "Software\Varn\Hollet" is
// "1" (blanks around it do not count). Traces go to the alert log "QVDownLoadNewFileU"
// below the running program's folder, one file a day.

#include "platform/DynLib.h"

#include <QString>

class QWidget;

// The download library's entry points (texts are zero-terminated UTF-8, messages 256 bytes).
using TQVDownLoadFileEx = bool (*)(int window, const char* source, const char* product, const char* timeout,
                                   const char* remoteFile, const char* localZip, int* count, char* message, int* code,
                                   bool showProgress);
using TUnZipFilesOrDir = bool (*)(const char* zipFile, const char* targetFolder, char* message, int* code);
using TCompareFileToDown = bool (*)(const char* stamp, const char* localFile);
using TCompareFileToDownEx = bool (*)(const char* fileDescription, const char* localFile);
using TNeedDownLoad = bool (*)(const char* fileList, const char* localFolder);
using TUnZipFilesList = bool (*)(const char* zipFile, char* list, int size, char* message, int* code);
using TUnZipFilesXML = bool (*)(const char* zipFile, char* xml, int size, char* message, int* code);
using TGetFileList = bool (*)(const char* folder, const char* names, char* answer, int size);

// The download library, bound by name; a library that cannot be loaded leaves every
// entry point missing. Freed with the object.
class TQVDownLoad {
public:
    // "QVDownLoad.so", found as every library loaded by name (platform/DynLib.h).
    static constexpr const char* LibraryName = "QVDownLoad.so";

    explicit TQVDownLoad(const QString& libraryName = QString::fromLatin1(LibraryName));
    ~TQVDownLoad();
    TQVDownLoad(const TQVDownLoad&) = delete;
    TQVDownLoad& operator=(const TQVDownLoad&) = delete;

    // Exception "function QvDownLoad.CompareFileToDown not found!" when missing.
    bool CompareFileToDown(const QString& stamp, const QString& localFile) const;
    // False with errorText set when the call is missing or fails.
    bool DownLoadFile(const QString& remoteFile, const QString& localZip, QString& errorText) const;
    bool UnZipFilesOrDir(const QString& zipFile, const QString& folder, QString& errorText) const;

    HMODULE FHandle = nullptr;
    TQVDownLoadFileEx FQVDownLoadFileEx = nullptr;
    TUnZipFilesOrDir FUnZipFilesOrDir = nullptr;
    TCompareFileToDown FCompareFileToDown = nullptr;
    TCompareFileToDownEx FCompareFileToDownEx = nullptr;
    TNeedDownLoad FNeedDownLoad = nullptr;
    TUnZipFilesList FUnZipFilesList = nullptr;
    TUnZipFilesXML FUnZipFilesXML = nullptr;
    TGetFileList FGetFileList = nullptr;
    // Where downloads come from: empty, the client configuration's application server.
    QString FSource;
};

// The stamp and the server folder (ending with its separator) of a file description:
// "<Modify>stamp</Modify><Path>server file</Path>", or "Modify = 'stamp'" and
// "Path = 'server file'". A part without its closing marker is empty.
struct FileDescription {
    QString stamp;
    QString serverFolder;
};
FileDescription ParseFileDescription(const QString& description);

// Brings localFile up to the server's copy that the description names. True when the
// file may be used (updated, already current, or updating is not asked for); false with
// errorText (also logged) when the update failed. Interactive: a failed download or
// unpacking asks Abort or Retry (through the modal runner); otherwise it fails at once.
bool UpdateFile(const QString& fileDescription, const QString& localFile, QString& errorText, bool interactive,
                QWidget* parent = nullptr);

// The alert-log line of the unit.
void WriteDownLoadLog(const QString& message);
