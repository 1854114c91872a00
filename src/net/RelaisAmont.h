#pragma once

#include "Relais.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <map>
#include <optional>
#include <utility>

class Horloge;
class QTcpSocket;
class ServeurCanaux;
class SortieMessages;

// PROXY=host:port: each client gets a connection of its own to the real device, opened when the
// client connects. What the client sends goes there as it comes, and what the device answers
// goes back to that client through the channel pool, so it is shown and journaled like any
// reply. A device that refuses or drops the connection closes the client's, with a log line.
//
// Neither side may make Velorin hold more than a bound for the other: past Borne bytes waiting
// for the device (or for its connection to be made), the client is no longer read until they
// drain; past Borne bytes waiting for the client, the device is no longer read. TCP then slows
// down whoever sends. A side held back for the stall delay without the other catching up ends
// the client's connection, as a client that stops reading its replies is closed by the socket
// layer.
class RelaisAmont : public QObject, public Relais
{
    Q_OBJECT

public:
    // Most bytes held for one connection in one direction, and the level reading starts again
    // below.
    static constexpr qint64 Borne = 1024 * 1024;
    static constexpr qint64 Reprise = 256 * 1024;
    // Most the device's socket takes from the system at a time.
    static constexpr qint64 LectureMax = 64 * 1024;

    // `horlogeMur` stamps the log lines.
    RelaisAmont(QString hote, quint16 port, ServeurCanaux& serveur, SortieMessages& journal,
                const Horloge& horlogeMur, QObject* parent = nullptr);
    ~RelaisAmont() override;

    void ouvre(int canal) override;
    void transmet(int canal, const QString& octets) override;
    void ferme(int canal) override;
    void sortieClient(int canal, qint64 enAttente) override;
    bool estAmont(const QString& adresse, quint16 portClient) const override;

    QString cible() const;
    // How long a side may stay held back (10 s, as for clients that stop reading).
    void setDelaiBlocageMs(qint64 delai) { delaiBlocageMs = delai; }
    // Bytes of the channel's client that wait for the device, sent or not yet connected.
    qint64 enAttenteVersAppareil(int canal) const;

private:
    struct Liaison
    {
        QTcpSocket* socket = nullptr;
        QByteArray avantConnexion;          // what the client sent before the connection was made
        bool clientRetenu = false;          // the client is not read: the device is behind
        bool appareilRetenu = false;        // the device is not read: the client is behind
        qint64 clientRetenuDepuisMs = -1;   // since when the client is held back
        qint64 appareilRetenuDepuisMs = -1; // since when the device is held back
    };

    static qint64 versAppareil(const Liaison& liaison);
    void depuisAppareil(int canal);
    void appareilAvance(int canal);
    void surveilleBlocages();
    void coupe(int canal, const QString& raison);
    void perdu(int canal, QTcpSocket* socket);

    const QString hote;
    const quint16 port;
    ServeurCanaux& serveur;
    SortieMessages& journal;
    const Horloge& horlogeMur;
    std::map<int, Liaison> liaisons;
    QTimer surveillance;
    QElapsedTimer horloge;
    qint64 delaiBlocageMs = 10000;
};
