#pragma once

#include "BoucleEpoll.h"
#include "CoucheSocket.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <unordered_map>

// The socket array on the system's sockets, watched through an epoll set (BoucleEpoll) that
// many arrays may share: element 0 listens, each connected channel is one descriptor read and
// written directly. Events reach the EvenementsSocket on the thread of this object.
class CoucheSocketEpoll : public QObject, public CoucheSocket, private ObservateurDescripteur
{
    Q_OBJECT

public:
    // Without a loop of the process's, the array watches its sockets through one of its own.
    explicit CoucheSocketEpoll(BoucleEpoll* boucle = nullptr, QObject* parent = nullptr);
    ~CoucheSocketEpoll() override;

    void setEvenements(EvenementsSocket* recepteur) override { evenements = recepteur; }

    bool Load(int Index) override;
    void Unload(int Index) override;
    bool existe(int Index) const override;

    void setLocalPort(int Index, qint32 port) override;
    qint32 LocalPort(int Index) const override;
    bool Listen(int Index) override;
    // The address element 0 listens on (every IPv4 interface unless set; QHostAddress::Any is
    // every IPv6 and IPv4 address).
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
    // Most one arrival takes from the system: a client that floods is read in bounded pieces,
    // and what it sends beyond waits in the system (TCP then slows it down).
    static constexpr qint64 LectureMax = 64 * 1024;

    friend struct AccesCoucheSocketEpoll; // tests make the registration of a channel fail

    struct Canal
    {
        int descripteur = -1;
        QString adresseClient;
        quint16 portClient = 0;
        bool parti = false;            // the client closed or reset the connection
        bool enErreur = false;         // any other socket error
        bool lectureSuspendue = false; // its replies pile up: it is not read until they drain
        bool lectureBloquee = false;   // a fault: what arrives waits until reading starts again
        bool lectureRetenue = false;   // the relay: its device has fallen behind this client
        QByteArray recu;               // received and not taken yet
        QByteArray aEnvoyer;           // queued output, from `envoye` on
        qsizetype envoye = 0;
        qint64 bloqueDepuisMs = -1; // since when more than 1 MiB waits to be sent
        qint64 enAttente() const { return aEnvoyer.size() - envoye; }
    };
    // A channel closed with output still queued: its descriptor lives on, apart from the array,
    // until the output has left or the delay has run out.
    struct Fermeture
    {
        QByteArray aEnvoyer;
        qsizetype envoye = 0;
        qint64 depuisMs = 0;
    };

    void pret(int descripteur, std::uint32_t evenements) override;
    void accepte();
    void demandeConnexion(int descripteur, const QString& adresse, quint16 port);
    void lit(int Index, Canal& canal);
    void ecrit(int Index, Canal& canal);
    void clientParti(int Index, Canal& canal);
    void erreurCanal(int Index, Canal& canal, int numero, const QString& description);
    void arrivee(int Index);
    void arriveePlusTard(int Index);
    void surveille(int Index, const Canal& canal);
    void surveilleBlocages();
    void termineFermetures();
    void ferme(int descripteur, QByteArray aEnvoyer, qsizetype envoye);
    void lache(int descripteur);
    // Closes a connection nobody takes, so its client is not left hanging.
    static void refuse(int descripteur);
    bool ecouteSur(int famille);

    EvenementsSocket* evenements = nullptr;
    std::unique_ptr<BoucleEpoll> boucleAPart;
    BoucleEpoll& boucle;
    int ecoute = -1;
    qint32 portLocal = 0;
    QHostAddress adresseEcoute{QHostAddress::AnyIPv4};
    QString erreurEcoute;
    std::map<int, Canal> canaux;
    std::unordered_map<int, int> indexParDescripteur;
    std::unordered_map<int, Fermeture> fermetures;
    // Connection requests handed out and not yet accepted, with their client's address.
    std::unordered_map<int, std::pair<QString, quint16>> demandes;
    QTimer surveillance;
    QElapsedTimer horloge;
    bool acceptationEnPanne = false;
    qint64 delaiBlocageMs;
    int limiteDescripteurs;
    bool refusFauteDeDescripteurs = false;
    bool descripteursLiberes = false;
    QByteArray octetsAEnvoyer;
    // Registration of an accepted channel with the loop (tests make it fail).
    std::function<bool(int, std::uint32_t)> inscrit;
};
