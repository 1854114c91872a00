#include "EcouteControle.h"

#include "net/LimiteDescripteurs.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/SortieMessages.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <unistd.h>

namespace {

// Out of descriptors, the listener rests this long before it tries to accept again.
constexpr int RepriseAcceptationMs = 300;

} // namespace

EcouteControle::EcouteControle(QObject* parent)
    : QObject(parent), serveur([this](qintptr d) { demande(d); }),
      limiteDescripteurs(limiteDescripteursProcessus())
{
    connect(&serveur, &QTcpServer::acceptError, this, &EcouteControle::erreurAcceptation);
}

bool EcouteControle::ecoute(const QHostAddress& adresse, quint16 port)
{
    return serveur.listen(adresse, port);
}

void EcouteControle::demande(qintptr descripteur)
{
    acceptationEnPanne = false;
    // accept() hands out the lowest free descriptor, so one this high means the process is
    // close to running out.
    const bool court =
        limiteDescripteurs > 0 && descripteur >= limiteDescripteurs - bornes.reserveDescripteurs;
    if (court || ouvertes >= bornes.connexionsMax) {
        ::close(int(descripteur));
        if (!refusEnCours)
            dit(court ? QStringLiteral("plus assez de descripteurs libres, connexions refusées")
                      : QStringLiteral("%1 connexions ouvertes, les suivantes sont refusées")
                            .arg(ouvertes));
        refusEnCours = true;
        return;
    }
    refusEnCours = false;
    auto* socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(descripteur)) {
        delete socket;
        // Qt leaves a descriptor it could not adopt open.
        ::close(int(descripteur));
        return;
    }
    auto* connexion = new ConnexionControle(socket, bornes.connexion, this);
    ++ouvertes;
    connect(connexion, &ConnexionControle::finie, this, [this] {
        --ouvertes;
        emit finie();
    });
    emit nouvelle(connexion);
}

void EcouteControle::erreurAcceptation(QAbstractSocket::SocketError)
{
    // Qt stops accepting after such an error: rest a moment and listen again, so the port
    // neither spins nor goes deaf while descriptors are short.
    if (!acceptationEnPanne)
        dit(serveur.errorString()
            + QStringLiteral(" : acceptation suspendue, reprise dans %1 ms")
                  .arg(RepriseAcceptationMs));
    acceptationEnPanne = true;
    serveur.pauseAccepting();
    QTimer::singleShot(RepriseAcceptationMs, this, [this] {
        if (serveur.isListening())
            serveur.resumeAccepting();
    });
}

void EcouteControle::dit(const QString& texte)
{
    if (journal != nullptr)
        journal->AfficheMessage(Horodatage(false, HorlogeSysteme::instance())
                                + QStringLiteral(" controle HTTP : ") + texte);
}
