// How the socket array takes a connection: the listener hands the descriptor over, the channel
// pool accepts it on an element or nobody does, and a shortage of descriptors is ridden out.
#include "CoucheSocketQt.h"

#include <QTcpSocket>
#include <QTimer>

#include <unistd.h>

namespace {

// Out of descriptors, the listener rests this long before it tries to accept again.
constexpr int RepriseAcceptationMs = 300;
// Error number of the connections this layer refuses for want of descriptors.
constexpr int ErreurPlusDeDescripteur = 10024;
// Descriptors kept for Qt's own needs.
constexpr int ReserveDescripteurs = 32;

QString texteIPv4(const QHostAddress& adresse)
{
    bool ok = false;
    const quint32 ipv4 = adresse.toIPv4Address(&ok);
    return ok ? QHostAddress(ipv4).toString() : adresse.toString();
}

} // namespace

void CoucheSocketQt::demandeConnexion(qintptr descripteur)
{
    acceptationEnPanne = false;
    // accept() hands out the lowest free descriptor, so one this high means the process is
    // about to run out. A few are kept for Qt's own needs (a new thread's wake-up pipe, which
    // it cannot do without) and the client is turned away at once.
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
    enAttente.insert(descripteur);
    if (evenements != nullptr)
        evenements->WSserveur_ConnectionRequest(0, descripteur);
    // Nobody took it: the client is refused rather than left hanging.
    if (enAttente.remove(descripteur))
        refuse(descripteur);
}

void CoucheSocketQt::refuse(qintptr descripteur)
{
    QTcpSocket refus;
    if (refus.setSocketDescriptor(descripteur))
        refus.abort();
}

void CoucheSocketQt::Accept(int Index, qintptr requestID)
{
    const auto it = canaux.find(Index);
    if (it == canaux.end() || State(Index) != Ferme || !enAttente.remove(requestID))
        return;
    Canal& canal = it->second;
    canal = Canal{};

    auto* socket = new QTcpSocket(this);
    if (!adopte(*socket, requestID)) {
        canal.enErreur = true;
        const int numero = socket->error();
        const QString description = socket->errorString();
        delete socket;
        // Qt leaves a descriptor it could not adopt open, and nobody else holds it any more.
        ::close(int(requestID));
        if (evenements != nullptr)
            evenements->WSserveur_Error(Index, numero, description);
        return;
    }
    canal.socket = socket;
    canal.adresseClient = texteIPv4(socket->peerAddress());
    canal.portClient = socket->peerPort();
    socket->setReadBufferSize(LectureMax);
    // A reply goes out at once, even while an earlier one is still unacknowledged: a host
    // that sends its next request before reading the last reply must not wait for an ACK.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);

    connect(socket, &QTcpSocket::readyRead, this, [this, Index] { arrivee(Index); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, Index] { sortieVidee(Index); });
    connect(socket, &QTcpSocket::readChannelFinished, this, [this, Index] {
        const auto c = canaux.find(Index);
        if (c != canaux.end())
            c->second.parti = true;
    });
    // Once the client has gone the socket itself is of no more use: it goes at once, and the
    // channel reads as closing until it is released.
    connect(socket, &QTcpSocket::disconnected, this, [this, Index] {
        const auto c = canaux.find(Index);
        if (c == canaux.end() || c->second.socket == nullptr)
            return;
        c->second.parti = true;
        // A channel the fault rules keep unread keeps what its client sent before leaving.
        if (c->second.lectureBloquee)
            c->second.restant = c->second.socket->readAll();
        c->second.socket->disconnect(this);
        c->second.socket->deleteLater();
        c->second.socket = nullptr;
        socketsLiberes = true;
        if (evenements != nullptr)
            evenements->WSserveur_Close(Index);
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, Index] { erreurSocket(Index); });
}

void CoucheSocketQt::erreurAcceptation(QAbstractSocket::SocketError erreur)
{
    // Qt stops accepting after such an error: rest a moment and listen again, so the server
    // neither spins nor goes deaf while descriptors are short. Said once per episode.
    if (!acceptationEnPanne && evenements != nullptr)
        evenements->WSserveur_Error(
            0, int(erreur),
            serveur.errorString()
                + QStringLiteral(" : acceptation suspendue, reprise dans %1 ms")
                      .arg(RepriseAcceptationMs));
    acceptationEnPanne = true;
    serveur.pauseAccepting();
    QTimer::singleShot(RepriseAcceptationMs, this, [this] {
        if (serveur.isListening())
            serveur.resumeAccepting();
    });
}
