#include "jobform/SocketConnection.h"

#include "platform/Exception.h"
#include "wire/RemoteClient.h"

TSimpleObjectBroker::TSimpleObjectBroker(QObject* owner) : QObject(owner) {}

TSocketConnection::TSocketConnection(QObject* owner) : QObject(owner) {}

void TSocketConnection::SetSessionIdentity(const QString& user, const QString& company)
{
    user_ = user.toStdString();
    company_ = company.toStdString();
}

void TSocketConnection::SetTimeLimits(int connectMs, int callMs)
{
    connectTimeoutMs_ = connectMs;
    callTimeoutMs_ = callMs;
}

void TSocketConnection::SetConnected(bool on)
{
    if (on)
        Open();
    else
        Close();
}

void TSocketConnection::Open()
{
    if (connected_)
        return;
    if (serverName_.isEmpty())
        throw Exception("No application server name given for the connection");
    if (address_.isEmpty())
        throw Exception("No application server address given for the connection");
    RemoteServerOptions o;
    o.address = address_.toStdString();
    o.port = port_;
    o.user = user_;
    o.company = company_;
    o.secret = secret_;
    o.tlsTrustFile = tlsTrustFile_;
    o.connectTimeoutMs = connectTimeoutMs_;
    o.callTimeoutMs = callTimeoutMs_;
    auto connection = std::make_shared<RemoteConnection>(std::move(o));
    // Connecting now tells at once whether the server is there and takes the sign-on.
    connection->open();
    appServer_ = Variant(CreateRemoteObject(connection, serverName_.toStdString()));
    connected_ = true;
}

void TSocketConnection::Close()
{
    if (!connected_)
        return;
    connected_ = false;
    appServer_ = Variant();
}
