#pragma once

#include <QByteArray>
#include <QObject>

#include <deque>

class QTcpSocket;

// One client's stream of server-sent events. What the socket cannot take at once waits in a
// queue of its own, bounded in events and bytes, so that a browser that stops reading costs a
// fixed amount and never slows whoever sends. Past the bound new events are dropped and
// counted; once there is room again the stream says how many were lost (an event "perdues",
// {"lost":n}) before going on. Lives as long as the socket it writes on.
class FluxEvenements : public QObject
{
    Q_OBJECT

public:
    struct Bornes
    {
        qsizetype evenementsMax = 1000;
        qint64 octetsMax = 1024 * 1024;
        // What is handed to the socket before the rest waits in the queue.
        qint64 enVolMax = 64 * 1024;
    };

    // Made a child of the socket.
    FluxEvenements(QTcpSocket* socket, const Bornes& bornes);

    // One event of type `type` (empty for a plain message) whose data is one line of text.
    void envoie(const QByteArray& type, const QByteArray& donnee);

    qint64 perdus() const { return perdusEnTout; }
    qsizetype enAttente() const { return qsizetype(file.size()); }

private:
    void pousse();
    QByteArray avisPerte();

    QTcpSocket* socket;
    const Bornes bornes;
    std::deque<QByteArray> file;
    qint64 octets = 0;
    qint64 perdusNonDits = 0;
    qint64 perdusEnTout = 0;
};
