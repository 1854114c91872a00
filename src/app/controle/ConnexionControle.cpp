#include "ConnexionControle.h"

#include "Route.h"

#include <QTcpSocket>

#include <sys/socket.h>

namespace {

// A refused client gets this long to take its answer and stop sending.
constexpr int DelaiRejetMs = 5000;
// What one read takes from the socket at most while a refused body is dropped.
constexpr qint64 MorceauJete = 64 * 1024;

QByteArray raison(int statut)
{
    switch (statut) {
    case 100: return "Continue";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 415: return "Unsupported Media Type";
    case 421: return "Misdirected Request";
    case 431: return "Request Header Fields Too Large";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    default: return statut < 400 ? "OK" : "Error";
    }
}

} // namespace

ConnexionControle::ConnexionControle(QTcpSocket* socket_, const Bornes& bornes_, QObject* parent)
    : QObject(parent), socket(socket_), bornes(bornes_)
{
    socket->setParent(this);
    // Qt takes no more from the system than this; the rest waits in the kernel, and TCP
    // slows the client down.
    socket->setReadBufferSize(64 * 1024);
    connect(socket, &QTcpSocket::readyRead, this, &ConnexionControle::lit);
    connect(socket, &QTcpSocket::disconnected, this, &ConnexionControle::fin);
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        // The client closing its side is the end of a refused body, not an error.
        if (e != QAbstractSocket::RemoteHostClosedError || etat != Etat::Rejet)
            fin();
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        if (socket->bytesToWrite() > 0)
            return;
        if (etat == Etat::Rejet)
            ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
    });
    inactivite.setSingleShot(true);
    inactivite.setInterval(bornes.inactiviteMs);
    connect(&inactivite, &QTimer::timeout, this, &ConnexionControle::inactif);
    inactivite.start();
    QMetaObject::invokeMethod(this, &ConnexionControle::lit, Qt::QueuedConnection);
}

ConnexionControle::~ConnexionControle() = default;

void ConnexionControle::lit()
{
    for (;;) {
        switch (etat) {
        case Etat::EnTete: {
            const qint64 place = bornes.enTeteMax + 4 - entree.size();
            if (place > 0)
                entree += socket->read(place);
            // Empty lines between requests are allowed.
            while (entree.startsWith("\r\n"))
                entree.remove(0, 2);
            const qsizetype finEnTete = entree.indexOf("\r\n\r\n");
            if (finEnTete < 0 || finEnTete > bornes.enTeteMax) {
                if (entree.size() > bornes.enTeteMax)
                    rejette(
                        reponseErreur(QHttpServerResponse::StatusCode::RequestHeaderFieldsTooLarge,
                                      QStringLiteral("headers_too_large"),
                                      QStringLiteral("the request's header section is too large"),
                                      {{QStringLiteral("limit"), bornes.enTeteMax}}));
                return;
            }
            analyseEnTete(finEnTete);
            break;
        }
        case Etat::Corps:
            if (entree.size() < longueurCorps)
                entree += socket->read(longueurCorps - entree.size());
            if (entree.size() < longueurCorps)
                return;
            termineCorps();
            break;
        case Etat::Rejet:
        case Etat::Flux:
            while (socket->bytesAvailable() > 0)
                socket->skip(MorceauJete);
            return;
        case Etat::Servie:
        case Etat::Fin: return;
        }
    }
}

void ConnexionControle::analyseEnTete(qsizetype finEnTete)
{
    const QList<QByteArray> lignes = entree.left(finEnTete).split('\n');
    entree.remove(0, finEnTete + 4);
    const QList<QByteArray> debut = lignes.first().trimmed().split(' ');
    if (debut.size() != 3 || !debut.at(2).startsWith("HTTP/1.") || !debut.at(1).startsWith('/')) {
        rejette(reponseErreur(QHttpServerResponse::StatusCode::BadRequest,
                              QStringLiteral("bad_request"),
                              QStringLiteral("malformed request line")));
        return;
    }
    nomMethode = debut.at(0);
    methode = RequeteControle::methodeDe(nomMethode);
    cible = debut.at(1);
    garder = debut.at(2) == "HTTP/1.1";
    longueurCorps = 0;
    enTetes = {};
    enTetes.locale = socket->localAddress();
    bool suite = false;
    bool longueurVue = false;
    for (qsizetype i = 1; i < lignes.size(); ++i) {
        const QByteArray& ligne = lignes.at(i);
        const qsizetype deuxPoints = ligne.indexOf(':');
        if (deuxPoints <= 0) {
            rejette(reponseErreur(QHttpServerResponse::StatusCode::BadRequest,
                                  QStringLiteral("bad_request"),
                                  QStringLiteral("malformed header line")));
            return;
        }
        const QByteArray nom = ligne.left(deuxPoints).trimmed().toLower();
        const QByteArray valeur = ligne.mid(deuxPoints + 1).trimmed();
        if (nom == "content-length") {
            bool ok = false;
            const qint64 n = valeur.toLongLong(&ok);
            if (!ok || n < 0 || (longueurVue && n != longueurCorps)) {
                rejette(reponseErreur(QHttpServerResponse::StatusCode::BadRequest,
                                      QStringLiteral("bad_request"),
                                      QStringLiteral("invalid Content-Length")));
                return;
            }
            longueurCorps = n;
            longueurVue = true;
        } else if (nom == "transfer-encoding") {
            rejette(reponseErreur(QHttpServerResponse::StatusCode::LengthRequired,
                                  QStringLiteral("length_required"),
                                  QStringLiteral("a body is sent with Content-Length")));
            return;
        } else if (nom == "connection") {
            const QByteArray mots = valeur.toLower();
            if (mots.contains("close"))
                garder = false;
            else if (mots.contains("keep-alive"))
                garder = true;
        } else if (nom == "expect" && valeur.toLower() == "100-continue") {
            suite = true;
        } else if (nom == "host") {
            // Two differing Host fields name no one host: none of them is taken.
            enTetes.hote = enTetes.hote && *enTetes.hote != valeur ? QByteArray("\n") : valeur;
        } else if (nom == "content-type") {
            enTetes.typeContenu = valeur;
        } else if (nom == "authorization") {
            enTetes.autorisation = valeur;
        } else if (nom == "x-velorin") {
            enTetes.velorin = true;
        }
    }
    if (longueurCorps > bornes.corpsMax) {
        rejette(reponseErreur(QHttpServerResponse::StatusCode::PayloadTooLarge,
                              QStringLiteral("payload_too_large"),
                              QStringLiteral("the request's body is too large"),
                              {{QStringLiteral("limit"), bornes.corpsMax}}));
        return;
    }
    if (suite && longueurCorps > 0)
        socket->write("HTTP/1.1 100 Continue\r\n\r\n");
    etat = Etat::Corps;
}

void ConnexionControle::termineCorps()
{
    const QByteArray corps = entree.left(longueurCorps);
    entree.remove(0, longueurCorps);
    etat = Etat::Servie;
    enCours = prochain++;
    inactivite.stop();
    emit requete(
        RequeteControle(methode, nomMethode, QUrl::fromEncoded(cible), corps, std::move(enTetes)),
        enCours);
}

void ConnexionControle::repond(quint64 numero, const QHttpServerResponse& reponse)
{
    if (!attend(numero) || etat != Etat::Servie)
        return;
    enCours = 0;
    ecrit(reponse, !garder);
    if (!garder) {
        etat = Etat::Fin;
        socket->disconnectFromHost();
        return;
    }
    etat = Etat::EnTete;
    inactivite.start();
    // What the client sent ahead is read now: no new arrival would say it is there.
    QMetaObject::invokeMethod(this, &ConnexionControle::lit, Qt::QueuedConnection);
}

QTcpSocket* ConnexionControle::ouvreFlux(quint64 numero, const QByteArray& enTete)
{
    if (!attend(numero) || etat != Etat::Servie)
        return nullptr;
    enCours = 0;
    etat = Etat::Flux;
    socket->write(enTete);
    // Whatever the client sends from now on is dropped: only its leaving matters.
    QMetaObject::invokeMethod(this, &ConnexionControle::lit, Qt::QueuedConnection);
    return socket;
}

void ConnexionControle::termine(const QHttpServerResponse& reponse)
{
    if (enCours != 0 && etat == Etat::Servie) {
        garder = false;
        repond(enCours, reponse);
        vide();
        return;
    }
    if (etat != Etat::Fin) {
        etat = Etat::Fin;
        vide();
        socket->disconnectFromHost();
    }
}

void ConnexionControle::vide()
{
    socket->flush();
}

void ConnexionControle::ecrit(const QHttpServerResponse& reponse, bool fermer)
{
    const QByteArray corps = reponse.data();
    const int statut = int(reponse.statusCode());
    QByteArray sortie = "HTTP/1.1 " + QByteArray::number(statut) + ' ' + raison(statut) + "\r\n";
    sortie += "Content-Type: " + reponse.mimeType() + "\r\n";
    sortie += "Content-Length: " + QByteArray::number(corps.size()) + "\r\n";
    // A 401 says how to authenticate; no other field is ever added (none opens the port to
    // another site's pages).
    for (const QByteArray& valeur : reponse.headers("WWW-Authenticate"))
        sortie += "WWW-Authenticate: " + valeur + "\r\n";
    if (fermer)
        sortie += "Connection: close\r\n";
    sortie += "\r\n";
    sortie += corps;
    socket->write(sortie);
}

void ConnexionControle::rejette(const QHttpServerResponse& reponse)
{
    etat = Etat::Rejet;
    entree.clear();
    entree.squeeze();
    inactivite.stop();
    ecrit(reponse, true);
    QTimer::singleShot(DelaiRejetMs, this, [this] {
        socket->abort();
        fin();
    });
    lit();
}

void ConnexionControle::inactif()
{
    if (etat == Etat::Servie || etat == Etat::Flux || etat == Etat::Fin)
        return;
    socket->abort();
    fin();
}

void ConnexionControle::fin()
{
    if (terminee)
        return;
    terminee = true;
    etat = Etat::Fin;
    enCours = 0;
    inactivite.stop();
    emit finie();
    deleteLater();
}
