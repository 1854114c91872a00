// How the socket array listens and takes a connection: the listener hands each descriptor
// over, the channel pool accepts it on an element or nobody does, and a shortage of
// descriptors is ridden out.
#include "CoucheSocketEpoll.h"

#include <QAbstractSocket>
#include <QNetworkInterface>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Out of descriptors, the listener rests this long before it tries to accept again.
constexpr int RepriseAcceptationMs = 300;
// Error number of the connections this layer refuses for want of descriptors.
constexpr int ErreurPlusDeDescripteur = 10024;
// Descriptors kept for the process's own needs (a new thread's wake-up pipe, a file to open).
constexpr int ReserveDescripteurs = 32;
// A burst of clients arriving while the loop was busy waits in the system, not refused.
constexpr int FileAttenteEcoute = 1024;
// Connections taken per pass of the loop: a flood of connections leaves room for requests.
constexpr int AcceptationsParPassage = 64;

QString texteErreurEcoute(int erreur)
{
    switch (erreur) {
    case EADDRINUSE: return QStringLiteral("The bound address is already in use");
    case EACCES: return QStringLiteral("The address is protected");
    case EADDRNOTAVAIL: return QStringLiteral("The address is not available");
    default: return QString::fromLocal8Bit(std::strerror(erreur));
    }
}

// IPv4 clients of a socket that also listens on IPv6 show as plain IPv4.
QString texteIPv4(const QHostAddress& adresse)
{
    bool ok = false;
    const quint32 ipv4 = adresse.toIPv4Address(&ok);
    return ok ? QHostAddress(ipv4).toString() : adresse.toString();
}

} // namespace

void CoucheSocketEpoll::setLocalPort(int Index, qint32 port)
{
    if (Index == 0)
        portLocal = port;
}

qint32 CoucheSocketEpoll::LocalPort(int Index) const
{
    if (Index != 0)
        return 0;
    if (ecoute < 0)
        return portLocal;
    sockaddr_storage adresse{};
    socklen_t taille = sizeof adresse;
    if (::getsockname(ecoute, reinterpret_cast<sockaddr*>(&adresse), &taille) != 0)
        return portLocal;
    const quint16 port =
        ntohs(adresse.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&adresse)->sin6_port
                                            : reinterpret_cast<sockaddr_in*>(&adresse)->sin_port);
    return qint32(port);
}

bool CoucheSocketEpoll::Listen(int Index)
{
    if (Index != 0)
        return false;
    if (portLocal < 0 || portLocal > 65535) {
        erreurEcoute = QStringLiteral("port hors limites");
        return false;
    }
    if (ecoute >= 0)
        return true;
    const bool deuxPiles = adresseEcoute == QHostAddress(QHostAddress::Any);
    const bool ipv6 = deuxPiles || adresseEcoute.protocol() == QAbstractSocket::IPv6Protocol;
    const int d =
        ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (d < 0) {
        erreurEcoute = texteErreurEcoute(errno);
        return false;
    }
    const int oui = 1;
    const int non = 0;
    // A port just left by an earlier run is taken again at once.
    ::setsockopt(d, SOL_SOCKET, SO_REUSEADDR, &oui, sizeof oui);
    sockaddr_storage adresse{};
    socklen_t taille = 0;
    if (ipv6) {
        ::setsockopt(d, IPPROTO_IPV6, IPV6_V6ONLY, deuxPiles ? &non : &oui, sizeof oui);
        auto* a6 = reinterpret_cast<sockaddr_in6*>(&adresse);
        a6->sin6_family = AF_INET6;
        a6->sin6_port = htons(quint16(portLocal));
        if (!deuxPiles) {
            const Q_IPV6ADDR octets = adresseEcoute.toIPv6Address();
            std::memcpy(&a6->sin6_addr, &octets, sizeof a6->sin6_addr);
            a6->sin6_scope_id = adresseEcoute.scopeId().toUInt();
        }
        taille = sizeof(sockaddr_in6);
    } else {
        auto* a4 = reinterpret_cast<sockaddr_in*>(&adresse);
        a4->sin_family = AF_INET;
        a4->sin_port = htons(quint16(portLocal));
        a4->sin_addr.s_addr = htonl(adresseEcoute.toIPv4Address());
        taille = sizeof(sockaddr_in);
    }
    if (::bind(d, reinterpret_cast<sockaddr*>(&adresse), taille) != 0
        || ::listen(d, FileAttenteEcoute) != 0 || !boucle.ajoute(d, EPOLLIN, *this)) {
        erreurEcoute = texteErreurEcoute(errno);
        ::close(d);
        return false;
    }
    ecoute = d;
    return true;
}

QString CoucheSocketEpoll::LocalIP(int /*Index*/) const
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

void CoucheSocketEpoll::accepte()
{
    for (int i = 0; i < AcceptationsParPassage && ecoute >= 0; ++i) {
        sockaddr_storage adresse{};
        socklen_t taille = sizeof adresse;
        const int d = ::accept4(ecoute, reinterpret_cast<sockaddr*>(&adresse), &taille,
                                SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (d >= 0) {
            acceptationEnPanne = false;
            const QHostAddress client(reinterpret_cast<sockaddr*>(&adresse));
            const quint16 port = ntohs(adresse.ss_family == AF_INET6
                                           ? reinterpret_cast<sockaddr_in6*>(&adresse)->sin6_port
                                           : reinterpret_cast<sockaddr_in*>(&adresse)->sin_port);
            demandeConnexion(d, texteIPv4(client), port);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        // Out of descriptors or memory: rest a moment and listen again, so the server neither
        // spins nor goes deaf while they are short. Said once per episode.
        if (!acceptationEnPanne && evenements != nullptr)
            evenements->WSserveur_Error(
                0, int(QAbstractSocket::SocketResourceError),
                QString::fromLocal8Bit(std::strerror(errno))
                    + QStringLiteral(" : acceptation suspendue, reprise dans %1 ms")
                          .arg(RepriseAcceptationMs));
        acceptationEnPanne = true;
        boucle.modifie(ecoute, 0);
        QTimer::singleShot(RepriseAcceptationMs, this, [this] {
            if (ecoute >= 0)
                boucle.modifie(ecoute, EPOLLIN);
        });
        return;
    }
}

void CoucheSocketEpoll::demandeConnexion(int descripteur, const QString& adresse, quint16 port)
{
    // accept() hands out the lowest free descriptor, so one this high means the process is
    // about to run out: the client is turned away at once.
    if (limiteDescripteurs > 0 && descripteur >= limiteDescripteurs - ReserveDescripteurs) {
        refuse(descripteur);
        if (!refusFauteDeDescripteurs && evenements != nullptr)
            evenements->WSserveur_Error(0, ErreurPlusDeDescripteur,
                                        QStringLiteral("plus assez de descripteurs libres, "
                                                       "connexions refusées"));
        refusFauteDeDescripteurs = true;
        return;
    }
    refusFauteDeDescripteurs = false;
    demandes.emplace(descripteur, std::make_pair(adresse, port));
    if (evenements != nullptr)
        evenements->WSserveur_ConnectionRequest(0, descripteur);
    // Nobody took it: the client is refused rather than left hanging.
    if (demandes.erase(descripteur) != 0)
        refuse(descripteur);
}

void CoucheSocketEpoll::refuse(int descripteur)
{
    ::close(descripteur);
}

void CoucheSocketEpoll::Accept(int Index, qintptr requestID)
{
    const auto it = canaux.find(Index);
    const auto demande = demandes.find(int(requestID));
    if (it == canaux.end() || State(Index) != Ferme || demande == demandes.end())
        return;
    const int d = int(requestID);
    const auto [adresse, port] = demande->second;
    demandes.erase(demande);
    Canal& canal = it->second;
    canal = Canal{};
    if (!inscrit(d, EPOLLIN)) {
        canal.enErreur = true;
        const QString description = QString::fromLocal8Bit(std::strerror(errno));
        ::close(d);
        if (evenements != nullptr)
            evenements->WSserveur_Error(Index, int(QAbstractSocket::SocketResourceError),
                                        description);
        return;
    }
    canal.descripteur = d;
    canal.adresseClient = adresse;
    canal.portClient = port;
    indexParDescripteur[d] = Index;
    // A reply goes out at once, even while an earlier one is still unacknowledged: a host
    // that sends its next request before reading the last reply must not wait for an ACK.
    const int oui = 1;
    ::setsockopt(d, IPPROTO_TCP, TCP_NODELAY, &oui, sizeof oui);
}
