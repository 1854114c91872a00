#pragma once

#include <QString>

// Where a client's bytes go when Velorin relays them to another device instead of answering
// them itself. Every call is about one channel's current connection.
class Relais
{
public:
    virtual ~Relais() = default;

    // A client has connected on the channel.
    virtual void ouvre(int canal) = 0;
    // Bytes the client sent, one character per byte.
    virtual void transmet(int canal, const QString& octets) = 0;
    // The client has gone, or the channel was closed: nothing more comes back to it.
    virtual void ferme(int canal) = 0;
    // What waits to go out to the channel's client has come down to that many bytes.
    virtual void sortieClient(int canal, qint64 enAttente) = 0;
    // Whether a client at that address and port is one of the relay's own connections: a
    // relay that leads back to Velorin.
    virtual bool estAmont(const QString& adresse, quint16 portClient) const = 0;
};
