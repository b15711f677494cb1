#pragma once
// qvsetup site and qvsetup desk: an installation of a site in the machine's folders, as
// the packages lay the suite out (configuration /etc/wofb07, state /var/lib/wofb07, logs
// /var/log/wofb07), not a demo's.
//
//   <config>/registry.ini          ClientPath, ServerPath, LogPath (platform/Registry.h reads
//                                  /etc/wofb07/registry.ini for users without their own)
//   <config>/classes.ini           the application server's class library
//   <config>/server/BriskoS.ini    the databases, the server libraries' folder, the connection
//                                  secret, the remote clients' and the operators' addresses
//   <config>/client/BriskoC.ini    the site's server by name and port, with the secret, so that
//                                  a desk on the server's machine reaches it over TCP too
//   <config>/client/MultiLanguage  a link to the suite's language files
//   <state>/                       the SQLite databases (none on PostgreSQL)
//   <logs>/                        alert logs and run logs
//
// A desk has its registry file (logs in the user's home) and client folder alone.

#include "db/Db.h"

#include <string>
#include <vector>

struct SiteSpec {
    std::string config, state, logs;   // folders, made absolute
    std::string serverName;            // how desks reach the server
    int port = 7211;                   // remote clients' port; the server listens on every interface
    bool postgres = false;             // else SQLite files in the state folder
    DbServerLogin server;              // on PostgreSQL: its host, port, database, user, password
    std::string companyCode, companyName, companyDatabase, adminCode, adminName;
    std::string secret;                // plain; empty: a new random one, kept in <config>/connection-secret
    std::string owner;                 // the state and log folders' user (the service's), or none
    int demoDocuments = -1;            // -1: an empty company database; else demo data with N documents
    bool replace = false;              // make again what is there
};

struct DeskSpec {
    std::string config;
    std::string serverName;
    int port = 7211;
    std::string secret;                // plain
    bool replace = false;
};

// The installation; answers what it made, a line each, and the next command. Exception
// naming a value that cannot go where it goes, or what stands in the way; an existing site
// is refused unless replace. Nothing is written before every value has passed.
std::vector<std::string> MakeSite(const SiteSpec& spec);
std::vector<std::string> MakeDesk(const DeskSpec& spec);

// A secret kept in a file: its text without the final line break. Exception when the file
// cannot be read or the secret is no good (CheckSecret).
std::string ReadSecretFile(const std::string& file);
// Exception unless the secret is one line of at least 16 characters.
void CheckSecret(const std::string& secret);
