#pragma once
// `jobhost demo`: a demo installation of the suite in a folder of its own, so that the
// write-off job runs against real services and a real database without touching anything
// else on the machine.
//
//   <folder>/registry.ini    machine keys (QV_REGISTRY): Software\QVR\Brisko with the
//                            client and server folders
//   <folder>/classes.ini     class table (QV_CLASS_TABLE): the application server and the
//                            session object by ProgID, from this build's libraries
//   <folder>/client/         BriskoC.ini, help pages, common phrases, language files
//   <folder>/server/         BriskoS.ini, data/ with the system and company databases,
//                            S_PKG/ with the server-side job library
//
// A second run reuses what is there: files a user may have edited are written only when
// missing, the databases are made only when one of them is missing; the class table and
// the links to this build's files are refreshed. What is broken is made again: a folder
// or an unreadable thing where a file should be is moved aside to "<name>.broken", an
// empty registry or ini file is written again, and both databases are made again when
// either is missing, empty or no database.

#include <string>
#include <vector>

struct DemoInstallation {
    std::string folder; // absolute, ends with "/"
    std::string registryFile;
    std::string classTable;
    bool createdDatabases = false;
    // The databases are schemas of a PostgreSQL server's database, not files.
    bool onPostgres = false;
    // What a run found broken and made again, one text each ("server/data/DEMO.db was
    // empty"); empty for a fresh installation and for one that was sound.
    std::vector<std::string> repaired;
    // The session the demo opens the job with.
    std::string user;
    std::string company;
    std::string database;
};

class DemoInstall {
public:
    // ~/.local/share/qvr-demo, or /tmp/qvr-demo-<user> when that cannot be written.
    static std::string DefaultFolder();

    // Prepares or reuses the installation in folder (DefaultFolder() when empty). binDir
    // holds this build's programs and libraries (ReportCounterS.so, VostelWorkCenter.so,
    // the setup program qvsetup). Exception with the reason when it cannot be done.
    // With postgres ("Host=..;Port=..;Database=..;User=..", optionally ";Password=..") the
    // databases are the schemas qvsys and demo of that database, made by qvsetup when
    // either is missing, and [DBE Setting] of BriskoS.ini names the server; an
    // installation set up so earlier stays on its server when postgres is empty.
    static DemoInstallation Prepare(const std::string& folder, const std::string& binDir,
                                    const std::string& postgres = {});

    // Sets the interface language of the installation's client and server: "CHS" (code
    // page 936), "CHT" (950) or "ENG" (437), in the [CodePage] sections of BriskoC.ini and
    // BriskoS.ini, keeping everything else in them. Exception for any other language.
    static void SetLanguage(const DemoInstallation& installation, const std::string& language);
    // The code page of a language code, 0 for an unknown one.
    static int LanguageCodePage(const std::string& language);

    // Points this process at the installation (QV_REGISTRY, QV_CLASS_TABLE).
    static void UseEnvironment(const DemoInstallation& installation);
};
