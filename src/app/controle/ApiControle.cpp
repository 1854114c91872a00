#include "ApiControle.h"

#include "app/LigneCommande.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/SortieMessages.h"

#include <QJsonArray>
#include <QPointer>

namespace {

using Methode = RequeteControle::Methode;

QString nomMethode(Methode methode)
{
    switch (methode) {
    case Methode::Get: return QStringLiteral("GET");
    case Methode::Post: return QStringLiteral("POST");
    case Methode::Patch: return QStringLiteral("PATCH");
    case Methode::Delete: return QStringLiteral("DELETE");
    default: return QString();
    }
}

// A route's path against a request's: "<arg>" stands for one segment of its own.
bool correspond(const QString& modele, const QString& chemin)
{
    const QStringList attendus = modele.split(QLatin1Char('/'));
    const QStringList lus = chemin.split(QLatin1Char('/'));
    if (attendus.size() != lus.size())
        return false;
    for (qsizetype i = 0; i < attendus.size(); ++i) {
        if (attendus.at(i) == QLatin1String("<arg>") ? lus.at(i).isEmpty()
                                                     : attendus.at(i) != lus.at(i))
            return false;
    }
    return true;
}

} // namespace

ApiControle::ApiControle(QObject* parent) : QObject(parent)
{
    connect(&ecoute, &EcouteControle::nouvelle, this, &ApiControle::accueille);
    // A client that left no longer waits, and a connection count changed.
    connect(&ecoute, &EcouteControle::finie, &attentesEnCours, &Attentes::signale);
}

ApiControle::~ApiControle() = default;

void ApiControle::ajoute(std::unique_ptr<RessourceControle> ressource)
{
    ressources.push_back(std::move(ressource));
}

bool ApiControle::demarre(const QString& textePort, const QString& texteAdresse,
                          SortieMessages& journal, QString& raison)
{
    const auto numero = portValide(textePort);
    if (!numero) {
        raison = QStringLiteral("port de controle CONTROL invalide \"") + textePort
                 + QStringLiteral("\" : un nombre de 0 à 65535 est attendu");
        return false;
    }
    QHostAddress adresse(QHostAddress::LocalHost);
    if (!texteAdresse.isNull() && !adresse.setAddress(texteAdresse)) {
        raison = QStringLiteral("adresse de controle CONTROL_BIND invalide \"") + texteAdresse
                 + QStringLiteral("\" : une adresse IPv4 ou IPv6 est attendue");
        return false;
    }
    // Anyone who reaches an address other than this machine's own drives the device: not
    // without a token.
    if (!adresse.isLoopback() && reglagesGarde.jeton.isEmpty()) {
        raison = QStringLiteral("adresse de controle CONTROL_BIND ") + adresse.toString()
                 + QStringLiteral(" hors de la boucle locale sans jeton : CONTROL_TOKEN= ou "
                                  "CONTROL_TOKEN_FILE= est exigé");
        return false;
    }
    garde.regle(reglagesGarde, adresse);
    table.clear();
    for (const auto& ressource : ressources)
        table += ressource->routes();
    ecoute.setJournal(&journal);
    if (!ecoute.ecoute(adresse, *numero)) {
        raison = QStringLiteral("impossible d'ouvrir le port de controle CONTROL ")
                 + QString::number(*numero) + QStringLiteral(" : ") + ecoute.erreur();
        return false;
    }
    portOuvert = ecoute.port();
    const QString stamp = Horodatage(false, HorlogeSysteme::instance());
    journal.AfficheMessage(stamp + QStringLiteral(" ouvre controle HTTP ") + adresse.toString()
                           + QStringLiteral("  port ") + QString::number(portOuvert));
    if (!adresse.isLoopback())
        journal.AfficheMessage(stamp + QStringLiteral(" attention : le controle HTTP écoute sur ")
                               + adresse.toString()
                               + QStringLiteral(", quiconque y accède pilote le simulateur"));
    return true;
}

void ApiControle::arrete()
{
    ecoute.arrete();
    attentesEnCours.arrete(reponseErreur(QHttpServerResponse::StatusCode::ServiceUnavailable,
                                         QStringLiteral("shutting_down"),
                                         QStringLiteral("Velorin is shutting down")));
    // Answers go out now: the event loop may not turn again before the end.
    for (ConnexionControle* connexion : ecoute.findChildren<ConnexionControle*>())
        connexion->termine(reponseErreur(QHttpServerResponse::StatusCode::ServiceUnavailable,
                                         QStringLiteral("shutting_down"),
                                         QStringLiteral("Velorin is shutting down")));
}

void ApiControle::accueille(ConnexionControle* connexion)
{
    connect(connexion, &ConnexionControle::requete, this,
            [this, connexion](const RequeteControle& requete, quint64 numero) {
                sert(connexion, requete, numero);
            });
}

void ApiControle::sert(ConnexionControle* connexion, const RequeteControle& requete, quint64 numero)
{
    const QPointer<ConnexionControle> ici(connexion);
    const Repondeur repondeur(
        [ici, numero](const QHttpServerResponse& reponse) {
            if (ici)
                ici->repond(numero, reponse);
        },
        [ici, numero] { return ici && ici->attend(numero); },
        [ici, numero](const QByteArray& enTete) -> QTcpSocket* {
            return ici ? ici->ouvreFlux(numero, enTete) : nullptr;
        });
    if (auto refus = garde.refuse(requete)) {
        repondeur(*refus);
        return;
    }
    const QString chemin = requete.url().path();
    QJsonArray permises;
    QString connu;
    for (const Route& route : std::as_const(table)) {
        if (!correspond(route.chemin, chemin))
            continue;
        connu = route.chemin;
        if (route.methode != requete.method()) {
            if (!permises.contains(nomMethode(route.methode)))
                permises.append(nomMethode(route.methode));
            continue;
        }
        if (auto refus = GardeControle::refuseChangement(requete)) {
            repondeur(*refus);
            return;
        }
        if (route.differee) {
            route.differee(requete, repondeur);
        } else {
            const QHttpServerResponse reponse = route.action(requete);
            const int statut = int(reponse.statusCode());
            if (observateur && route.methode != Methode::Get && statut >= 200 && statut < 300)
                observateur(nomMethode(route.methode),
                            requete.url().path(QUrl::FullyEncoded)
                                + (requete.url().hasQuery()
                                       ? QLatin1Char('?') + requete.url().query()
                                       : QString()),
                            requete.body());
            repondeur(reponse);
        }
        // Whatever the request changed may be what a wait waits for.
        attentesEnCours.signale();
        return;
    }
    if (connu.isEmpty() && repli) {
        if (const auto reponse = repli(chemin)) {
            repondeur(*reponse);
            return;
        }
    }
    if (!connu.isEmpty())
        repondeur(reponseErreur(
            QHttpServerResponse::StatusCode::MethodNotAllowed, QStringLiteral("method_not_allowed"),
            QStringLiteral("method not allowed"),
            {{QStringLiteral("path"), connu}, {QStringLiteral("allowed"), permises}}));
    else
        repondeur(reponseErreur(QHttpServerResponse::StatusCode::NotFound,
                                QStringLiteral("not_found"), QStringLiteral("not found"),
                                {{QStringLiteral("path"), chemin}}));
}
