#pragma once
// A client installation for the localisation tests: BriskoC.ini names the interface and
// database code pages; the machine's code page is set for the test (C.UTF-8 otherwise).

#include "../EnvGuard.h"
#include "../TempInstall.h"

#include "platform/CodePage.h"

#include <string>

class L10nInstall {
public:
    L10nInstall(const std::string& uiCodePage, const std::string& dbCodePage = "936", int systemCodePage = 0)
    {
        env_.set("LANG", "C.UTF-8");
        env_.set("LC_ALL", nullptr);
        env_.set("LC_CTYPE", nullptr);
        env_.set("QV_ACP", nullptr);
        SetACP(systemCodePage);
        install_.registry("[Software\\QVR\\Brisko]\nClientPath=" + install_.path("client/") + "\n");
        install_.write("client/BriskoC.ini", "[CodePage]\nUICodePage=" + uiCodePage + "\nDBCodePage=" + dbCodePage +
                                                 "\n[Server Information]\nComputerName=127.0.0.1\n");
    }
    ~L10nInstall() { SetACP(0); }
    L10nInstall(const L10nInstall&) = delete;
    L10nInstall& operator=(const L10nInstall&) = delete;

    // The client folder, ending with "/".
    std::string client(const std::string& relative = "") const { return install_.path("client/" + relative); }
    void write(const std::string& relative, const std::string& content) const { install_.write("client/" + relative, content); }

private:
    EnvGuard env_;
    TempInstall install_;
};
