#pragma once
// What the host makes sure of before it opens a job: the registry file, the client and
// server folders and their ini files can be read, the client names an application
// server, the server's system database is there, and the server object can be made and
// answers. Every problem names its file, so that an unattended run ends with a message a
// person can act on instead of a dialog nobody closes or a form that opens empty.
//
// Each file is looked at before a reader opens it (host/FileCheck.h). A missing ini file
// is not a problem: its keys take their defaults, and a note says so.

#include "host/HostConfig.h"

#include <string>
#include <vector>

class AppServerLink;

struct InstallationReport {
    std::vector<std::string> problems; // the job must not be opened
    std::vector<std::string> notes;    // worth telling, not in the way
    HostConfig config;                 // as read, once the files could be read
    bool ok() const { return problems.empty(); }
};

class InstallationCheck {
public:
    // The files of the installation the registry file (QV_REGISTRY) names. The
    // configuration is read only when its files passed.
    static InstallationReport CheckFiles();
    // The application server of the configuration: it can be made, and it reads its
    // system database. Appends to report.problems.
    static void CheckServer(AppServerLink& server, InstallationReport& report);
};
