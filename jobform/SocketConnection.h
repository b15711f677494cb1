#pragma once
// The job form's connection to the application server (MainMidas) and its object broker.
//
// A server on this machine ("127.0.0.1") is created in-process by its ProgID and handed
// to the connection with SetAppServer; the connection then only holds it. A server on
// another machine is reached by Open() over TCP (wire/RemoteClient.h): it connects and
// signs on for the session's user and company with the installation's secret, and
// AppServer is then a late-bound proxy whose calls run on the server. A call that breaks
// raises; the next one connects again.

#include "platform/Variant.h"

#include <memory>

#include <QObject>
#include <QString>

class TSimpleObjectBroker : public QObject {
    Q_OBJECT

public:
    explicit TSimpleObjectBroker(QObject* owner = nullptr);
};

class TSocketConnection : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Address READ Address WRITE SetAddress)
    Q_PROPERTY(int Port READ Port WRITE SetPort)
    Q_PROPERTY(QString ServerName READ ServerName WRITE SetServerName)
    Q_PROPERTY(bool Connected READ Connected WRITE SetConnected)
    Q_PROPERTY(bool SupportCallbacks READ SupportCallbacks WRITE SetSupportCallbacks)

public:
    explicit TSocketConnection(QObject* owner = nullptr);

    QString Address() const { return address_; }
    void SetAddress(const QString& address) { address_ = address; }
    int Port() const { return port_; }
    void SetPort(int port) { port_ = port; }
    // The server object's ProgID ("ReportCounterS.dmReportCounter").
    QString ServerName() const { return serverName_; }
    void SetServerName(const QString& name) { serverName_ = name; }
    bool SupportCallbacks() const { return supportCallbacks_; }
    void SetSupportCallbacks(bool on) { supportCallbacks_ = on; }
    TSimpleObjectBroker* ObjectBroker() const { return broker_; }
    void SetObjectBroker(TSimpleObjectBroker* broker) { broker_ = broker; }

    // Who the connection signs on for, the installation's secret (BriskoC.ini) and the
    // time limits of connecting and of one call in ms.
    void SetSessionIdentity(const QString& user, const QString& company);
    void SetSecret(const std::string& secret) { secret_ = secret; }
    // The certificate a TLS server must show (BriskoC.ini TlsCertificate); empty: no TLS.
    void SetTlsTrustFile(const std::string& file) { tlsTrustFile_ = file; }
    void SetTimeLimits(int connectMs, int callMs);

    bool Connected() const { return connected_; }
    void SetConnected(bool on);
    // Connects to the server at Address and Port (Exception when that fails).
    void Open();
    void Close();

    // The server's automation object: the one handed over, or the remote one once open.
    Variant AppServer() const { return appServer_; }
    void SetAppServer(const Variant& server) { appServer_ = server; }

private:
    QString address_;
    int port_ = 211;
    QString serverName_;
    bool supportCallbacks_ = false;
    bool connected_ = false;
    TSimpleObjectBroker* broker_ = nullptr;
    Variant appServer_;
    std::string user_, company_, secret_, tlsTrustFile_;
    int connectTimeoutMs_ = 10000;
    int callTimeoutMs_ = 300000;
};
