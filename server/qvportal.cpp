// The company portal's user service for an installation:
//   qvportal --install DIR [--listen ADDRESS:PORT] [--announce]   (default 127.0.0.1:8071)
// --announce points the installation's portal settings (QVRINTMA "StartupPortal" and
// "Portal WS") at this service, so that the job forms' recipient dialog uses it.
// Answers POST requests whose SOAPAction header names the method (PORTAL.getAllUser).
// Ends on SIGTERM or SIGINT.

#include "serverdb/Installation.h"
#include "server/PortalService.h"
#include "serverdb/ServerDatabase.h"

#include <httplib.h>

#include <csignal>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>

namespace {

httplib::Server* running = nullptr;

void stop(int)
{
    if (running)
        running->stop();
}

int usage(const char* why = nullptr)
{
    if (why)
        std::cerr << "qvportal: " << why << "\n";
    std::cerr << "usage: qvportal --install DIR [--listen ADDRESS:PORT] [--announce]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string install, listen = "127.0.0.1:8071";
    bool announce = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--install" && i + 1 < argc)
            install = argv[++i];
        else if (a == "--listen" && i + 1 < argc)
            listen = argv[++i];
        else if (a == "--announce")
            announce = true;
        else if (a == "--help" || a == "-h")
            return usage(), 0;
        else
            return usage(("unknown argument " + a).c_str());
    }
    if (install.empty())
        return usage("--install is missing");
    const std::size_t colon = listen.rfind(':');
    int port = 0;
    try {
        port = colon == std::string::npos ? 0 : std::stoi(listen.substr(colon + 1));
    } catch (const std::exception&) {
    }
    if (port <= 0 || port > 65535)
        return usage(("not ADDRESS:PORT: " + listen).c_str());
    const std::string host = listen.substr(0, colon);

    std::unique_ptr<ServerDatabase> db;
    try {
        db = std::make_unique<ServerDatabase>(OpenInstallation(install));
        db->connection();
    } catch (const std::exception& e) {
        std::cerr << "qvportal: " << e.what() << "\n";
        return 1;
    }
    std::mutex dbLock;
    httplib::Server server;
    server.set_read_timeout(10, 0);
    server.Post(".*", [&](const httplib::Request& req, httplib::Response& res) {
        std::string method = req.get_header_value("SOAPAction");
        if (method.size() >= 2 && method.front() == '"' && method.back() == '"')
            method = method.substr(1, method.size() - 2);
        std::string answer;
        try {
            const std::lock_guard<std::mutex> guard(dbLock);
            answer = PortalAnswer(db->connection(), method, req.body);
        } catch (const std::exception& e) {
            res.status = 500;
            res.set_content(std::string("qvportal: ") + e.what(), "text/plain; charset=utf-8");
            return;
        }
        res.set_content(answer, "text/xml; charset=utf-8");
    });
    if (!server.bind_to_port(host, port)) {
        std::cerr << "qvportal: cannot listen on " << listen << "\n";
        return 1;
    }
    if (announce) {
        try {
            DbConnection& conn = db->connection();
            DbTransaction tx(conn, DbTransaction::Write);
            for (const auto& [key, value] : {std::pair<std::string, std::string>{"StartupPortal", "Y"},
                                             {"Portal WS", "http://" + listen + "/"}}) {
                if (conn.execute("UPDATE QVRINTMA SET MA003 = :V WHERE MA001 = :K", {{"K", key}, {"V", value}}) == 0)
                    conn.execute("INSERT INTO QVRINTMA (MA001, MA003) VALUES (:K, :V)", {{"K", key}, {"V", value}});
            }
            tx.commit();
        } catch (const std::exception& e) {
            std::cerr << "qvportal: the portal settings were not set: " << e.what() << "\n";
            return 1;
        }
    }
    running = &server;
    std::signal(SIGTERM, stop);
    std::signal(SIGINT, stop);
    std::cout << "qvportal: serving " << install << " on http://" << listen << "/" << std::endl;
    server.listen_after_bind();
    running = nullptr;
    return 0;
}
