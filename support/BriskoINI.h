#pragma once
// Client and server configuration of the suite: the registry key Software\QVR\Brisko names
// the installation folders (ClientPath, ServerPath) and whether users have profiles
// (ProfileType); each folder holds its ini file, BriskoC.ini or BriskoS.ini, possibly
// overridden per user in <folder>Profile/<user>/. The objects read everything when they
// are made and are plain records afterwards: make one, read the fields, drop it.
//
// Folders end with "/" once loaded. The registry's folders, when written relative, lie
// below the registry file's folder (ResolveRegistryFolder), not the working folder. Folder values from the ini files may be written with
// "\" as on the suite's other platforms; relative ones are taken below the installation
// folder with "/" separators (ResolvePath).

#include "platform/Variant.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The fields both records share, in their order.
class BriskoIniCommon {
public:
    std::string ProfilePath;
    std::string ProfileType = "0";
    std::string ProfileUser = "Default";
    std::string UICodePage = "936";
    std::string DBCodePage = "936";
    std::string SystemCodePage;
    std::uint8_t UIConvertMode = 0;
    std::uint8_t DBConvertMode = 0;
    bool SupportCallBack = false;
    std::string IniFileName;
    // Message code of a failed load: "E;000015" no registry key, "E;000016" no server.
    std::string ErrorCode;

protected:
    BriskoIniCommon() = default;
    // Steps common to both loads: defaults, system code page, modes.
    void resetCommon();
    void computeModes();
};

class TBriskoIniC : public BriskoIniCommon {
public:
    std::string ClientPath;
    // [0, i] the i-th server's address, [1, i] its port; Unassigned when none is named.
    Variant Servers;
    // The ini file's defaults ("ENG", "Y", "1", "1", "1", "0") apply once it is read;
    // until then these are empty.
    std::string LangType;
    std::vector<std::string> WorkDLLPaths;
    std::string Version;
    std::string CreateGifBeforeSendEF;
    std::string AutoCheckNewMsg;
    std::string CheckInterval;
    std::string PopupMsg;
    std::string LoginCheck;
    // A remote application server ("Server Information"): the installation's connection
    // secret (ConnectionSecret, stored as passwords are) and the time limits of connecting
    // and of one call in ms (ConnectTimeOut, CallTimeOut; below 1 takes the default).
    static constexpr int DefaultConnectTimeOut = 10000;
    static constexpr int DefaultCallTimeOut = 300000;
    std::string ConnectionSecret;
    // TlsCertificate: PEM file of the certificate (or its issuer's) a TLS server must
    // show, resolved against the client folder; empty when not named.
    std::string TlsCertificate;
    int ConnectTimeOut = DefaultConnectTimeOut;
    int CallTimeOut = DefaultCallTimeOut;

    TBriskoIniC();
    // True when the registry key, the client folder and the ini file were read.
    bool Load();

private:
    void clear();
};

class TBriskoIniS : public BriskoIniCommon {
public:
    std::string ServerPath;
    // [0..3, 0..7]: main database, temporary database, socket server, EDI database.
    Variant DBSettings;
    std::vector<std::string> WorkDLLPaths;
    std::string Version;
    // 1 ORACLE, 2 DB2, 0 any other main database type.
    std::uint8_t DBType = 0;
    std::string SystemControlAddress;
    std::string OtherSystemControlAddress;
    // Bounds of the application server's database work, section "DBE Setting" (see
    // server/ReportCounterS.h). A value that is no number or below 1 takes the default.
    static constexpr int DefaultBusyTimeOut = 5000;
    static constexpr int DefaultQueryTimeOut = 30000;
    static constexpr int DefaultQueryMaxRows = 100000;
    static constexpr int DefaultQueryMaxBytes = 64 * 1024 * 1024;
    static constexpr int DefaultQueryMaxMemory = 256 * 1024 * 1024;
    int BusyTimeOut = DefaultBusyTimeOut;       // ms a statement waits for another program's lock
    int QueryTimeOut = DefaultQueryTimeOut;     // ms one query may run
    // JobTimeLimit: seconds a job's server library may run before the server ends it and
    // records the run as failed (none: an hour; 0: no limit, and a direct run's library
    // runs in the server's own process).
    static constexpr int DefaultJobTimeLimit = 3600;
    int JobTimeLimit = DefaultJobTimeLimit;
    int QueryMaxRows = DefaultQueryMaxRows;     // rows of one answer
    int QueryMaxBytes = DefaultQueryMaxBytes;   // bytes of one answer
    int QueryMaxMemory = DefaultQueryMaxMemory; // bytes of working memory of one query
    // Remote clients ("DBPasswordCtrl"): the connection secret they must prove
    // (ConnectionSecret, stored as passwords are) and the bounds of the endpoint, each
    // empty for its default: the largest frame taken (MaxFrameBytes, 64 KiB to 1 GiB),
    // seconds a signed-on connection may stay silent (IdleTimeOut, 1 to 604800),
    // connections at once (MaxConnections, 1 to 100000), from one address
    // (MaxConnectionsPerAddress, 1 to 100000) and objects one connection may hold
    // (MaxObjectsPerConnection, 1 to 65536). A value out of range is not replaced by its
    // default: RemoteSettingProblems names it, and the server does not listen.
    static constexpr int DefaultMaxFrameBytes = 128 * 1024 * 1024;
    std::string ConnectionSecret;
    int MaxFrameBytes = DefaultMaxFrameBytes;
    int IdleTimeOut = 1800;
    int MaxConnections = 1024;
    int MaxConnectionsPerAddress = 64;
    int MaxObjectsPerConnection = 256;
    std::vector<std::string> RemoteSettingProblems;
    // TlsCertificate and TlsKey: PEM files of the server's certificate and key, resolved
    // against the server folder; with both, remote connections use TLS.
    std::string TlsCertificate;
    std::string TlsKey;
    // Listen=HOST:PORT: the address the queue server serves remote clients on when its
    // command line names none; empty when none is named. A value that is no such address
    // is named in RemoteListenProblems, and a server that would listen there does not start.
    std::string RemoteListen;
    std::vector<std::string> RemoteListenProblems;

    // The queue server ("Job Queue"), each empty for its default: what becomes of the
    // periods a periodic job missed while no server ran (Misfire: once, all or skip), jobs
    // run at a time (Workers, 1 to 64), seconds running jobs get to finish when the server
    // is stopped (StopGraceSeconds, 0 to 86400) and seconds a server's claim on a running
    // job lasts unless renewed (LeaseSeconds, 3 to 3600). A value out of range is named
    // in JobQueueProblems, and the queue server does not start.
    std::string Misfire = "once";
    int Workers = 2;
    int StopGraceSeconds = 30;
    int LeaseSeconds = 60;
    std::vector<std::string> JobQueueProblems;

    // The operators' health and metrics endpoint of the queue server ("Metrics"): the
    // address it listens on (Listen=HOST:PORT, port 0 for any free one), empty when none is
    // named. A value that is no such address is named in MetricsProblems, and a server that
    // would listen there does not start.
    std::string MetricsListen;
    std::vector<std::string> MetricsProblems;

    TBriskoIniS();
    // True when the registry key and the server folder were found and the ini file read.
    bool Load();
    void GetWorkDLLPaths(std::vector<std::string>& list) const;

private:
    void clear();
};

// A path with a drive ("C:"), a share ("\\server") or, here, a leading "/" stays as it is;
// one with a leading "\" is taken below base without that character; any other below base.
std::string ResolvePath(std::string_view path, std::string_view base);
// Stored passwords: two hexadecimal digits per byte, each byte rotated by its position.
// An empty password is stored as the scrambled marker "QV_Say_NoPassWord_ThePassWordIsEmpty".
std::string EncodePassword(std::string_view plain);
// A stored value that is not hexadecimal gives "QV_Say_Password_Error" and an entry in
// the WFERPGenerator alert log. Loading TBriskoIniS writes that entry once per ini file
// and key in a process, however often the file is read.
std::string DecodePassword(std::string_view stored);
