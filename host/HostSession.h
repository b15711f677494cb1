#pragma once
// The host shell's session object ("VostelWorkCenter.Manager"): what a job form asks of
// the host. It gives out the counter, validator and look-up window services, which reach
// the company database through the application server, and serves the message wording,
// help and the description of server-side job libraries.
//
//   VersionType, ProductID: integers, read-only.
//   Com_Counter, Com_Validator, Com_F2Window: the services (one of each per session).
//   GetMessage(type, number) -> wording in the language of the interface code page.
//   CallHelp([system, topic]) -> Boolean: shows the topic's help page.
//   GetFileList([file name, ...]) -> the file description of each name (FileList.h),
//       one per line; with the application server elsewhere, that server's description
//       of the copies it holds.
//
// A query the application server cannot answer is told to the user (ServerNotice.h).
// A name the object does not have raises AutomationError, as any automation object does.

#include "host/AppServerLink.h"
#include "host/HostConfig.h"
#include "support/MessageCatalogue.h"

#include <memory>

class HostSession : public DispatchObject {
public:
    static constexpr const char* ProgId = "VostelWorkCenter.Manager";

    // The session of the installation the registry file names.
    HostSession();
    // A session over a given configuration and application server (for tests and for
    // hosts that bring their own server); an empty factory means the configured one.
    HostSession(HostConfig config, AppServerLink::Factory serverFactory);

    int VersionType = 1;
    int ProductID = 3;

    const HostConfig& config() const { return config_; }
    HostLanguage language() const { return LanguageOfCodePage(config_.uiCodePage); }
    AppServerLink& server() { return *server_; }

private:
    void defineMembers();

    HostConfig config_;
    std::shared_ptr<AppServerLink> server_;
    Variant counter_;
    Variant validator_;
    Variant f2Window_;
};

// Registers "VostelWorkCenter.Manager" with the process's class table, so that a job form
// without a host (exe mode) can create its session by ProgID.
void RegisterHostSessionClass();
