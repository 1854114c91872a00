#include "CoucheSocketQt.h"

#include "LimiteDescripteurs.h"

#include <QNetworkInterface>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <utility>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A socket closed with replies still queued gets this long to deliver them.
constexpr int DelaiFermetureMs = 5000;

// A client that sends without reading its replies: past this much pending output its channel
// is no longer read (TCP then slows the client down) until the output drains below the second
// figure; stalled above the third for the given time, the channel is closed.
constexpr qint64 SeuilSuspension = 256 * 1024;
constexpr qint64 SeuilReprise = 64 * 1024;
constexpr qint64 SeuilBlocage = 1024 * 1024;
constexpr qint64 DelaiBlocageParDefautMs = 10000;
// Qt's default of 50 overflows when a burst of clients arrives while the window is busy.
constexpr int FileAttenteEcoute = 1024;

} // namespace

CoucheSocketQt::CoucheSocketQt(QObject* parent)
    : QObject(parent), serveur([this](qintptr d) { demandeConnexion(d); }),
      delaiBlocageMs(DelaiBlocageParDefautMs), limiteDescripteurs(limiteDescripteursProcessus())
{
    serveur.setListenBacklogSize(FileAttenteEcoute);
    connect(&serveur, &QTcpServer::acceptError, this, &CoucheSocketQt::erreurAcceptation);
    horloge.start();
    surveillance.setInterval(250);
    connect(&surveillance, &QTimer::timeout, this, &CoucheSocketQt::surveilleBlocages);
    surveillance.start();
}

CoucheSocketQt::~CoucheSocketQt()
{
    for (auto& [index, canal] : canaux) {
        if (canal.socket != nullptr) {
            canal.socket->disconnect(this);
            delete canal.socket;
        }
    }
}

bool CoucheSocketQt::Load(int Index)
{
    if (Index <= 0 || canaux.count(Index) != 0)
        return false;
    canaux.emplace(Index, Canal{});
    return true;
}

void CoucheSocketQt::Unload(int Index)
{
    if (Index <= 0 || canaux.count(Index) == 0)
        return;
    Close(Index);
    canaux.erase(Index);
}

bool CoucheSocketQt::existe(int Index) const
{
    return Index == 0 || canaux.count(Index) != 0;
}

void CoucheSocketQt::setLocalPort(int Index, qint32 port)
{
    if (Index == 0)
        portLocal = port;
}

qint32 CoucheSocketQt::LocalPort(int Index) const
{
    if (Index != 0)
        return 0;
    return serveur.isListening() ? qint32(serveur.serverPort()) : portLocal;
}

bool CoucheSocketQt::Listen(int Index)
{
    if (Index != 0)
        return false;
    if (portLocal < 0 || portLocal > 65535) {
        erreurEcoute = QStringLiteral("port hors limites");
        return false;
    }
    if (!serveur.listen(adresseEcoute, quint16(portLocal))) {
        erreurEcoute = serveur.errorString();
        return false;
    }
    return true;
}

QString CoucheSocketQt::LocalIP(int /*Index*/) const
{
    // An address chosen to listen on is the one to show.
    if (adresseEcoute != QHostAddress(QHostAddress::AnyIPv4))
        return adresseEcoute.toString();
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        const auto drapeaux = interface.flags();
        if (!drapeaux.testFlag(QNetworkInterface::IsUp)
            || drapeaux.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entree : interface.addressEntries()) {
            const QHostAddress ip = entree.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLoopback())
                return ip.toString();
        }
    }
    return QStringLiteral("127.0.0.1");
}

int CoucheSocketQt::State(int Index) const
{
    if (Index == 0)
        return serveur.isListening() ? AEcoute : Ferme;
    const auto it = canaux.find(Index);
    if (it == canaux.end())
        return Ferme;
    const Canal& canal = it->second;
    if (canal.enErreur)
        return Erreur;
    if (canal.parti)
        return FermetureParHomologue;
    if (canal.socket == nullptr)
        return Ferme;
    switch (canal.socket->state()) {
    case QAbstractSocket::ConnectedState: return Connecte;
    case QAbstractSocket::HostLookupState: return ResolutionHote;
    case QAbstractSocket::ConnectingState: return ConnexionEnCours;
    case QAbstractSocket::BoundState: return Ouvert;
    case QAbstractSocket::ListeningState: return AEcoute;
    // Qt's own closing or a socket Qt let go of: the client has gone.
    case QAbstractSocket::ClosingState:
    case QAbstractSocket::UnconnectedState: return FermetureParHomologue;
    }
    return Erreur;
}

void CoucheSocketQt::arrivee(int Index)
{
    const auto it = canaux.find(Index);
    if (it == canaux.end() || it->second.lectureSuspendue || it->second.lectureBloquee
        || it->second.lectureRetenue)
        return;
    const Canal& canal = it->second;
    const qint64 disponibles =
        canal.socket != nullptr ? canal.socket->bytesAvailable() : canal.restant.size();
    if (disponibles > 0 && evenements != nullptr)
        evenements->WSserveur_DataArrival(Index, disponibles);
}

// What arrives on a stalled channel waits in its read buffer (64 KiB, then in the system) and
// is taken whole, as one arrival, when reading starts again; also when its client has left
// meanwhile.
void CoucheSocketQt::SuspendLecture(int Index, bool suspendue)
{
    const auto it = canaux.find(Index);
    if (it == canaux.end() || (it->second.socket == nullptr && it->second.restant.isEmpty()))
        return;
    it->second.lectureBloquee = suspendue;
    const bool nonLu = it->second.socket != nullptr ? it->second.socket->bytesAvailable() > 0
                                                    : !it->second.restant.isEmpty();
    if (!suspendue && nonLu)
        QTimer::singleShot(0, this, [this, Index] { arrivee(Index); });
}

void CoucheSocketQt::RetientLecture(int Index, bool retenue)
{
    const auto it = canaux.find(Index);
    if (it == canaux.end() || it->second.socket == nullptr)
        return;
    it->second.lectureRetenue = retenue;
    if (!retenue && it->second.socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, [this, Index] { arrivee(Index); });
}

void CoucheSocketQt::Abort(int Index)
{
    const auto it = canaux.find(Index);
    if (it != canaux.end() && it->second.socket != nullptr) {
        // No lingering: the close sends a reset, not the orderly end of the stream.
        const linger sansAttente{1, 0};
        ::setsockopt(int(it->second.socket->socketDescriptor()), SOL_SOCKET, SO_LINGER,
                     &sansAttente, sizeof sansAttente);
        it->second.socket->abort();
    }
    Close(Index);
}

void CoucheSocketQt::sortieVidee(int Index)
{
    const auto it = canaux.find(Index);
    if (it == canaux.end() || it->second.socket == nullptr)
        return;
    Canal& canal = it->second;
    const qint64 restant = canal.socket->bytesToWrite();
    if (canal.lectureSuspendue && restant < SeuilReprise) {
        canal.lectureSuspendue = false;
        canal.socket->setReadBufferSize(LectureMax);
        // What arrived meanwhile is taken now, as its own arrival, outside the write handler.
        if (canal.socket->bytesAvailable() > 0)
            QTimer::singleShot(0, this, [this, Index] { arrivee(Index); });
    }
    // Last: the receiver may send on the channel, or close it.
    if (evenements != nullptr)
        evenements->WSserveur_SendProgress(Index, restant);
}

void CoucheSocketQt::surveilleBlocages()
{
#ifdef __GLIBC__
    // Each socket keeps read buffers of its own: after a crowd of clients has gone, what they
    // held goes back to the system instead of staying in the process for good.
    if (socketsLiberes) {
        socketsLiberes = false;
        malloc_trim(0);
    }
#endif
    const qint64 maintenant = horloge.elapsed();
    QList<int> bloques;
    for (auto& [index, canal] : canaux) {
        if (canal.socket == nullptr || canal.socket->bytesToWrite() <= SeuilBlocage) {
            canal.bloqueDepuisMs = -1;
            continue;
        }
        if (canal.bloqueDepuisMs < 0)
            canal.bloqueDepuisMs = maintenant;
        else if (maintenant - canal.bloqueDepuisMs >= delaiBlocageMs)
            bloques << index;
    }
    for (int index : bloques) {
        const qint64 enAttenteEnvoi = canaux[index].socket->bytesToWrite();
        // The client did not leave: the abort must not read as its own close.
        canaux[index].socket->disconnect(this);
        canaux[index].socket->abort();
        Close(index);
        if (evenements != nullptr)
            evenements->WSserveur_Error(
                index, ErreurClientBloque,
                QStringLiteral("le client ne lit plus ses réponses (%1 octets en attente depuis "
                               "%2 s), liaison fermée")
                    .arg(enAttenteEnvoi)
                    .arg(delaiBlocageMs / 1000.0));
    }
}

void CoucheSocketQt::erreurSocket(int Index)
{
    const auto it = canaux.find(Index);
    if (it == canaux.end() || it->second.socket == nullptr)
        return;
    Canal& canal = it->second;
    const QAbstractSocket::SocketError erreur = canal.socket->error();
    // A client that closes or resets its connection is not an error: the channel only
    // reads as closing until it is released.
    if (erreur == QAbstractSocket::RemoteHostClosedError) {
        canal.parti = true;
        return;
    }
    canal.enErreur = true;
    if (evenements != nullptr)
        evenements->WSserveur_Error(Index, int(erreur), canal.socket->errorString());
}

qint64 CoucheSocketQt::octetsEnAttente(int Index) const
{
    const auto it = canaux.find(Index);
    return it == canaux.end() || it->second.socket == nullptr ? 0
                                                              : it->second.socket->bytesToWrite();
}

QString CoucheSocketQt::RemoteHostIP(int Index) const
{
    const auto it = canaux.find(Index);
    return it == canaux.end() ? QString() : it->second.adresseClient;
}

quint16 CoucheSocketQt::RemotePort(int Index) const
{
    const auto it = canaux.find(Index);
    return it == canaux.end() ? 0 : it->second.portClient;
}

QString CoucheSocketQt::GetData(int Index)
{
    const auto it = canaux.find(Index);
    if (it == canaux.end())
        return {};
    if (it->second.socket == nullptr)
        return QString::fromLatin1(std::exchange(it->second.restant, QByteArray()));
    return QString::fromLatin1(it->second.socket->readAll());
}

void CoucheSocketQt::SendData(int Index, const QString& donnees)
{
    const auto it = canaux.find(Index);
    if (it == canaux.end() || it->second.socket == nullptr)
        return;
    Canal& canal = it->second;
    QTcpSocket* socket = canal.socket;

    // One byte per character, as toLatin1 gives them, into a buffer kept from reply to reply.
    octetsAEnvoyer.resize(donnees.size());
    char* octet = octetsAEnvoyer.data();
    for (const QChar c : donnees)
        *octet++ = c.unicode() > 0xFF ? '?' : char(c.unicode());

    // Nothing queued before them: the bytes go straight to the system, which takes the whole
    // reply unless the client has stopped reading. Qt's own write path would arm and disarm
    // its write notifier for every reply. Whatever the system does not take, or an error,
    // goes through Qt, which queues it in order or reports the error as usual.
    qsizetype envoye = 0;
    if (socket->bytesToWrite() == 0 && !octetsAEnvoyer.isEmpty()) {
        const ssize_t n = ::send(int(socket->socketDescriptor()), octetsAEnvoyer.constData(),
                                 size_t(octetsAEnvoyer.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
            envoye = qsizetype(n);
    }
    if (envoye < octetsAEnvoyer.size()) {
        socket->write(octetsAEnvoyer.constData() + envoye, octetsAEnvoyer.size() - envoye);
        // Hand the bytes to the system at once, so that a client that half-closes right
        // after its request still gets the reply.
        socket->flush();
    }
    if (octetsAEnvoyer.capacity() > LectureMax)
        octetsAEnvoyer = QByteArray();
    if (!canal.lectureSuspendue && socket->bytesToWrite() > SeuilSuspension) {
        // Qt stops reading a socket whose read buffer is full: one byte keeps it full.
        canal.lectureSuspendue = true;
        socket->setReadBufferSize(1);
    }
}

void CoucheSocketQt::Close(int Index)
{
    if (Index == 0) {
        serveur.close();
        return;
    }
    const auto it = canaux.find(Index);
    if (it == canaux.end())
        return;
    QTcpSocket* socket = it->second.socket;
    it->second = Canal{};
    if (socket != nullptr) {
        relache(socket);
        socketsLiberes = true;
    }
}

// The element is free at once; the socket itself goes when its queued bytes have left.
void CoucheSocketQt::relache(QTcpSocket* socket)
{
    socket->disconnect();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    QTimer::singleShot(DelaiFermetureMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}
