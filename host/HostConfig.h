#pragma once
// What the host shell reads of the installation: the registry key "Software\QVR\Brisko"
// names the client and server folders; BriskoC.ini gives the interface code page and the
// application server's address, BriskoS.ini the folders of the server-side job libraries
// and where the server keeps its databases. Nothing is written back. A missing key or
// file leaves the defaults.

#include <string>
#include <vector>

struct HostConfig {
    std::string clientPath;    // ends with "/", empty when the registry names none
    std::string serverPath;    // ends with "/", empty when the registry names none
    int uiCodePage = 437;      // 936, 950 or 437
    std::string serverAddress; // first name of the client's server list, "127.0.0.1" by default
    int serverPort = 211;
    // A remote server ("Server Information" of BriskoC.ini): the installation's connection
    // secret and the time limits in ms; and who the session's calls are for (the host
    // sets these once it knows the user).
    std::string connectionSecret;
    std::string tlsTrustFile; // TlsCertificate: the certificate a TLS server must show
    int connectTimeoutMs = 10000;
    int callTimeoutMs = 300000;
    std::string sessionUser;
    std::string sessionCompany;
    std::vector<std::string> workDllPaths; // server side, each ending with "/"

    // The files read (empty when the registry names no folder for them).
    std::string clientIniFile;
    std::string serverIniFile;
    // False when the client's ComputerName names no server (the client record's "E;000016").
    bool clientNamesServer = true;
    // The server's main database ("DBE Setting"): its type, the folder of the database
    // files (MainServerName below the server folder, ending with "/") and the name of the
    // system database.
    std::string databaseType;
    std::string databaseFolder;
    std::string systemDatabase;

    // Reads the registry file (QV_REGISTRY) and the ini files it leads to.
    static HostConfig Load();
    // The client side alone (registry and BriskoC.ini); the server fields keep their defaults.
    static HostConfig LoadClient();
    // The in-process server is used when the address is this machine's.
    bool serverIsLocal() const { return serverAddress == "127.0.0.1"; }
    // The server keeps each database in a file of its own: <databaseFolder><name>.db.
    bool databasesAreFiles() const;
    std::string databaseFile(const std::string& name) const { return databaseFolder + name + ".db"; }
};

// A folder path with one trailing "/" (a trailing "\" counts as one too).
std::string WithTrailingSlash(std::string path);
