#pragma once

#include "CoucheSocket.h"
#include "ServeurEcoute.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <map>

#include <QTcpSocket>

// The socket array on Qt's TCP classes: a QTcpServer for element 0, a QTcpSocket for each
// connected channel. Events reach the EvenementsSocket on the thread of this object.
class CoucheSocketQt : public QObject, public CoucheSocket
{
    Q_OBJECT

public:
    explicit CoucheSocketQt(QObject* parent = nullptr);
    ~CoucheSocketQt() override;

    void setEvenements(EvenementsSocket* recepteur) override { evenements = recepteur; }

    bool Load(int Index) override;
    void Unload(int Index) override;
    bool existe(int Index) const override;

    void setLocalPort(int Index, qint32 port) override;
    qint32 LocalPort(int Index) const override;
    bool Listen(int Index) override;
    // The address element 0 listens on (every IPv4 interface unless set).
    void setAdresseEcoute(const QHostAddress& adresse) { adresseEcoute = adresse; }
    QString erreurListen() const override { return erreurEcoute; }
    // How long a channel may stay stalled above 1 MiB of pending output before it is closed.
    void setDelaiBlocageMs(qint64 delai) { delaiBlocageMs = delai; }
    qint64 octetsEnAttente(int Index) const override;
    QString LocalIP(int Index) const override;

    int State(int Index) const override;
    void Accept(int Index, qintptr requestID) override;
    QString RemoteHostIP(int Index) const override;
    quint16 RemotePort(int Index) const override;
    QString GetData(int Index) override;
    void SendData(int Index, const QString& donnees) override;
    void Close(int Index) override;
    void Abort(int Index) override;
    void SuspendLecture(int Index, bool suspendue) override;
    void RetientLecture(int Index, bool retenue) override;

private:
    // Most one arrival takes from the system. Unbounded, Qt would take whatever the kernel holds
    // (several MiB on loopback when the window thread was busy), and that arrival is then copied
    // a few times over on its way to the reply.
    static constexpr qint64 LectureMax = 64 * 1024;

    friend struct AccesCoucheSocketQt; // tests hand it descriptors as the listener would

    struct Canal
    {
        QTcpSocket* socket = nullptr;
        QString adresseClient;
        quint16 portClient = 0;
        bool parti = false;    // the client closed or reset the connection
        bool enErreur = false; // any other socket error
        bool lectureSuspendue = false;
        bool lectureBloquee = false; // a fault: what arrives waits until reading starts again
        bool lectureRetenue = false; // the relay: its device has fallen behind this client
        QByteArray restant;          // what a client sent, unread, before it left
        qint64 bloqueDepuisMs = -1;  // since when more than 1 MiB waits to be sent
    };

    void demandeConnexion(qintptr descripteur);
    void erreurSocket(int Index);
    void arrivee(int Index);
    void sortieVidee(int Index);
    void surveilleBlocages();
    void erreurAcceptation(QAbstractSocket::SocketError erreur);
    static void relache(QTcpSocket* socket);
    // Closes a connection nobody takes, so its client is not left hanging.
    static void refuse(qintptr descripteur);

    EvenementsSocket* evenements = nullptr;
    ServeurEcoute serveur;
    qint32 portLocal = 0;
    QHostAddress adresseEcoute{QHostAddress::AnyIPv4};
    QString erreurEcoute;
    std::map<int, Canal> canaux;
    // Connection requests handed out and not yet accepted.
    QSet<qintptr> enAttente;
    QTimer surveillance;
    QElapsedTimer horloge;
    bool acceptationEnPanne = false;
    qint64 delaiBlocageMs;
    int limiteDescripteurs;
    bool refusFauteDeDescripteurs = false;
    // Qt's adoption of an accepted descriptor (tests make it fail).
    std::function<bool(QTcpSocket&, qintptr)> adopte = [](QTcpSocket& socket, qintptr d) {
        return socket.setSocketDescriptor(d);
    };
    bool socketsLiberes = false;
    QByteArray octetsAEnvoyer;
};
