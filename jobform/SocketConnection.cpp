#include "jobform/SocketConnection.h"
#include "platform/Exception.h"

TSimpleObjectBroker::TSimpleObjectBroker(QObject* owner) : QObject(owner) {}

TSocketConnection::TSocketConnection(QObject* owner) : QObject(owner) {}

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
    // Remote application servers need the network transport, which this client does not
    // have yet: say so rather than pretend to be connected.
    throw Exception(QStringLiteral("Cannot connect to the application server %1 at %2:%3: remote servers are not supported by this client")
                        .arg(serverName_, address_.isEmpty() ? QStringLiteral("(no address)") : address_)
                        .arg(port_)
                        .toStdString());
}

void TSocketConnection::Close()
{
    if (!connected_)
        return;
    connected_ = false;
    appServer_ = Variant();
}
