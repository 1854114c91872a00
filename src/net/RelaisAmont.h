#pragma once

#include "Relais.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <map>
#include <optional>
#include <utility>

class QTcpSocket;
class ServeurCanaux;
class SortieMessages;

// PROXY=host:port: each client gets a connection of its own to the real device, opened when the
// client connects. What the client sends goes there as it comes, and what the device answers
// goes back to that client through the channel pool, so it is shown and journaled like any
// reply. A device that refuses or drops the connection closes the client's, with a log line.
class RelaisAmont : public QObject, public Relais
{
    Q_OBJECT

public:
    // "host:port", "[v6 address]:port": the host, the port, or nothing when the text is no
    // such address.
    static std::optional<std::pair<QString, quint16>> adresseValide(const QString& texte);

    RelaisAmont(QString hote, quint16 port, ServeurCanaux& serveur, SortieMessages& journal,
                QObject* parent = nullptr);
    ~RelaisAmont() override;

    void ouvre(int canal) override;
    void transmet(int canal, const QString& octets) override;
    void ferme(int canal) override;
    bool estAmont(const QString& adresse, quint16 portClient) const override;

    QString cible() const;

private:
    void perdu(int canal, QTcpSocket* socket);

    const QString hote;
    const quint16 port;
    ServeurCanaux& serveur;
    SortieMessages& journal;
    std::map<int, QTcpSocket*> amont;
    std::map<int, QByteArray> avantConnexion;
};
