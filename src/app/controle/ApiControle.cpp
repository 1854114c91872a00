#include "ApiControle.h"

#include "app/LigneCommande.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/SortieMessages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>

namespace {

using Methode = QHttpServerRequest::Method;

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

} // namespace

ApiControle::ApiControle(QObject* parent) : QObject(parent) {}

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
    routes();
    portOuvert = serveur.listen(adresse, *numero);
    if (portOuvert == 0) {
        const auto ecoutes = serveur.servers();
        raison = QStringLiteral("impossible d'ouvrir le port de controle CONTROL ")
                 + QString::number(*numero) + QStringLiteral(" : ")
                 + (ecoutes.isEmpty() ? QStringLiteral("port indisponible")
                                      : ecoutes.constLast()->errorString());
        return false;
    }
    const QString stamp = Horodatage(false, HorlogeSysteme::instance());
    journal.AfficheMessage(stamp + QStringLiteral(" ouvre controle HTTP ") + adresse.toString()
                           + QStringLiteral("  port ") + QString::number(portOuvert));
    if (!adresse.isLoopback())
        journal.AfficheMessage(stamp + QStringLiteral(" attention : le controle HTTP écoute sur ")
                               + adresse.toString()
                               + QStringLiteral(", quiconque y accède pilote le simulateur"));
    return true;
}

// One handler per path, so that a known path with another method answers 405, not 404.
void ApiControle::routes()
{
    QList<Route> table;
    for (const auto& ressource : ressources)
        table += ressource->routes();
    QStringList chemins;
    for (const Route& route : table) {
        if (!chemins.contains(route.chemin))
            chemins << route.chemin;
    }
    for (const QString& chemin : chemins) {
        QList<Route> duChemin;
        for (const Route& route : table) {
            if (route.chemin == chemin)
                duChemin << route;
        }
        const auto repond = [this, duChemin, chemin](const QHttpServerRequest& requete) {
            QJsonArray permises;
            for (const Route& route : duChemin) {
                if (route.methode != requete.method()) {
                    permises.append(nomMethode(route.methode));
                    continue;
                }
                QHttpServerResponse reponse = route.action(requete);
                const int statut = int(reponse.statusCode());
                if (observateur && route.methode != QHttpServerRequest::Method::Get && statut >= 200
                    && statut < 300)
                    observateur(nomMethode(route.methode),
                                requete.url().path(QUrl::FullyEncoded)
                                    + (requete.url().hasQuery()
                                           ? QLatin1Char('?') + requete.url().query()
                                           : QString()),
                                requete.body());
                return reponse;
            }
            return QHttpServerResponse(
                QJsonObject{{QStringLiteral("error"), QStringLiteral("method not allowed")},
                            {QStringLiteral("path"), chemin},
                            {QStringLiteral("allowed"), permises}},
                QHttpServerResponse::StatusCode::MethodNotAllowed);
        };
        // A path with a part of its own (/faults/<arg>) hands that part over; the resource
        // reads it from the request.
        if (chemin.contains(QLatin1String("<arg>")))
            serveur.route(chemin, [repond](const QString&, const QHttpServerRequest& r) {
                return repond(r);
            });
        else
            serveur.route(chemin, repond);
    }
    serveur.setMissingHandler(
        [](const QHttpServerRequest& requete, QHttpServerResponder&& reponse) {
            const QJsonObject corps{{QStringLiteral("error"), QStringLiteral("not found")},
                                    {QStringLiteral("path"), requete.url().path()}};
            reponse.write(QJsonDocument(corps).toJson(QJsonDocument::Compact), "application/json",
                          QHttpServerResponder::StatusCode::NotFound);
        });
}
