#include "FluxEvenements.h"

#include <QTcpSocket>

FluxEvenements::FluxEvenements(QTcpSocket* socket_, const Bornes& bornes_)
    : QObject(socket_), socket(socket_), bornes(bornes_)
{
    connect(socket, &QTcpSocket::bytesWritten, this, &FluxEvenements::pousse);
}

void FluxEvenements::envoie(const QByteArray& type, const QByteArray& donnee)
{
    QByteArray evenement;
    if (!type.isEmpty())
        evenement += "event: " + type + '\n';
    evenement += "data: " + donnee + "\n\n";
    if (qsizetype(file.size()) >= bornes.evenementsMax
        || octets + evenement.size() > bornes.octetsMax) {
        ++perdusNonDits;
        ++perdusEnTout;
        return;
    }
    // The loss is said where it happened: before the first event kept after it.
    if (perdusNonDits > 0)
        file.push_back(avisPerte());
    octets += evenement.size();
    file.push_back(std::move(evenement));
    pousse();
}

QByteArray FluxEvenements::avisPerte()
{
    QByteArray avis =
        "event: perdues\ndata: {\"lost\":" + QByteArray::number(perdusNonDits) + "}\n\n";
    perdusNonDits = 0;
    octets += avis.size();
    return avis;
}

void FluxEvenements::pousse()
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    while (socket->bytesToWrite() < bornes.enVolMax && !file.empty()) {
        QByteArray evenement = std::move(file.front());
        file.pop_front();
        octets -= evenement.size();
        socket->write(evenement);
        // Nothing came after the loss yet: it is said all the same.
        if (file.empty() && perdusNonDits > 0)
            file.push_back(avisPerte());
    }
}
