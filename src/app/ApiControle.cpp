#include "ApiControle.h"

#include "FenetrePrincipale.h"
#include "LigneCommande.h"
#include "net/ServeurCanaux.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>

#include <functional>
#include <map>

namespace {

using Statut = QHttpServerResponse::StatusCode;
using Methode = QHttpServerRequest::Method;

QHttpServerResponse erreur(Statut statut, QJsonObject corps)
{
    return QHttpServerResponse(corps, statut);
}

QHttpServerResponse refus(const QString& raison, const QString& champ, const QString& detail = {})
{
    QJsonObject corps{{QStringLiteral("error"), raison}};
    if (!champ.isEmpty())
        corps.insert(QStringLiteral("field"), champ);
    if (!detail.isEmpty())
        corps.insert(QStringLiteral("detail"), detail);
    return erreur(Statut::BadRequest, corps);
}

// The fields a PATCH may write, and the JSON type each needs.
enum class Type { Texte, Booleen };
const std::map<QString, Type>& champsModifiables()
{
    static const std::map<QString, Type> champs = {
        {QStringLiteral("Cmb_Simulate"), Type::Texte},
        {QStringLiteral("Chk_HOMING_X_ok"), Type::Booleen},
        {QStringLiteral("Chk_HOMING_Z_ok"), Type::Booleen},
        {QStringLiteral("Chk_TPnon0"), Type::Booleen},
        {QStringLiteral("Txt_ValeurLu"), Type::Texte},
        {QStringLiteral("Chk_TraceIP"), Type::Booleen},
    };
    return champs;
}

QString nomMethode(Methode methode)
{
    switch (methode) {
    case Methode::Get: return QStringLiteral("GET");
    case Methode::Post: return QStringLiteral("POST");
    case Methode::Patch: return QStringLiteral("PATCH");
    default: return QString();
    }
}

} // namespace

ApiControle::ApiControle(FenetrePrincipale& fenetre_, QObject* parent)
    : QObject(parent), fenetre(fenetre_), historique(fenetre_.journal())
{
    routes();
}

bool ApiControle::demarre(const QString& textePort, const QString& texteAdresse)
{
    const auto numero = portValide(textePort);
    if (!numero) {
        fenetre.signaleEchecDemarrage(QStringLiteral("port de controle invalide \"") + textePort
                                      + QStringLiteral("\" : un nombre de 0 à 65535 est attendu"));
        return false;
    }
    QHostAddress adresse(QHostAddress::LocalHost);
    if (!texteAdresse.isNull() && !adresse.setAddress(texteAdresse)) {
        fenetre.signaleEchecDemarrage(QStringLiteral("adresse de controle invalide \"") + texteAdresse
                                      + QStringLiteral("\" : une adresse IPv4 ou IPv6 est attendue"));
        return false;
    }
    QString raison;
    if (!ouvre(adresse, *numero, raison)) {
        fenetre.signaleEchecDemarrage(QStringLiteral("impossible d'ouvrir le port de controle ")
                                      + QString::number(*numero) + QStringLiteral(" : ") + raison);
        return false;
    }
    const QString stamp = Horodatage(false, HorlogeSysteme::instance());
    fenetre.AfficheMessage(stamp + QStringLiteral(" ouvre controle HTTP ") + adresse.toString()
                           + QStringLiteral("  port ") + QString::number(portOuvert));
    if (!adresse.isLoopback())
        fenetre.AfficheMessage(stamp + QStringLiteral(" attention : le controle HTTP écoute sur ")
                               + adresse.toString()
                               + QStringLiteral(", quiconque y accède pilote le simulateur"));
    return true;
}

bool ApiControle::ouvre(const QHostAddress& adresse, quint16 port, QString& raison)
{
    portOuvert = serveur.listen(adresse, port);
    if (portOuvert == 0) {
        const auto ecoutes = serveur.servers();
        raison = ecoutes.isEmpty() ? QStringLiteral("port indisponible")
                                   : ecoutes.constLast()->errorString();
        return false;
    }
    return true;
}

QJsonObject ApiControle::etat() const
{
    return {
        {QStringLiteral("Cmb_Simulate"), fenetre.Cmb_Simulate()},
        {QStringLiteral("Lbl_PosDemX"), fenetre.Lbl_PosDemX()},
        {QStringLiteral("Lbl_PosDemZ"), fenetre.Lbl_PosDemZ()},
        {QStringLiteral("Lbl_PosRelleX"), fenetre.Lbl_PosRelleX()},
        {QStringLiteral("Lbl_PosRelleZ"), fenetre.Lbl_PosRelleZ()},
        {QStringLiteral("Chk_HOMING_X_ok"), fenetre.Chk_HOMING_X_ok()},
        {QStringLiteral("Chk_HOMING_Z_ok"), fenetre.Chk_HOMING_Z_ok()},
        {QStringLiteral("Chk_TPnon0"), fenetre.Chk_TPnon0()},
        {QStringLiteral("Txt_ValeurLu"), fenetre.Txt_ValeurLu()},
        {QStringLiteral("Chk_TraceIP"), fenetre.Chk_TraceIP()},
        {QStringLiteral("Lbl_LiaisonValide"), fenetre.Lbl_LiaisonValide()},
        {QStringLiteral("NbCanaux"), fenetre.serveur().NbCanaux()},
        {QStringLiteral("CanalCourant"), fenetre.serveur().CanalCourant()},
        {QStringLiteral("PortIP"), int(fenetre.portEcoute())},
    };
}

// Checks every field before it changes any: a refused PATCH changes nothing.
QHttpServerResponse ApiControle::modifieEtat(const QByteArray& corps)
{
    QJsonParseError analyse;
    const QJsonDocument document = QJsonDocument::fromJson(corps, &analyse);
    if (analyse.error != QJsonParseError::NoError)
        return refus(QStringLiteral("invalid JSON"), {}, analyse.errorString());
    if (!document.isObject())
        return refus(QStringLiteral("a JSON object is expected"), {});
    const QJsonObject demande = document.object();

    for (auto it = demande.begin(); it != demande.end(); ++it) {
        const auto champ = champsModifiables().find(it.key());
        if (champ == champsModifiables().end())
            return refus(QStringLiteral("unknown or read-only field"), it.key());
        const bool typeJuste = champ->second == Type::Booleen ? it.value().isBool()
                                                               : it.value().isString();
        if (!typeJuste)
            return refus(QStringLiteral("wrong type"), it.key(),
                         champ->second == Type::Booleen ? QStringLiteral("a boolean is expected")
                                                        : QStringLiteral("a string is expected"));
    }
    const QString mode = demande.value(QStringLiteral("Cmb_Simulate")).toString();
    if (demande.contains(QStringLiteral("Cmb_Simulate")) && !fenetre.modeConnu(mode))
        return refus(QStringLiteral("unknown mode"), QStringLiteral("Cmb_Simulate"), mode);

    // The flags and the value first, the mode last, as an operator would set up then switch.
    if (demande.contains(QStringLiteral("Chk_HOMING_X_ok")))
        fenetre.setChk_HOMING_X_ok(demande.value(QStringLiteral("Chk_HOMING_X_ok")).toBool());
    if (demande.contains(QStringLiteral("Chk_HOMING_Z_ok")))
        fenetre.setChk_HOMING_Z_ok(demande.value(QStringLiteral("Chk_HOMING_Z_ok")).toBool());
    if (demande.contains(QStringLiteral("Chk_TPnon0")))
        fenetre.setChk_TPnon0(demande.value(QStringLiteral("Chk_TPnon0")).toBool());
    if (demande.contains(QStringLiteral("Chk_TraceIP")))
        fenetre.setChk_TraceIP(demande.value(QStringLiteral("Chk_TraceIP")).toBool());
    if (demande.contains(QStringLiteral("Txt_ValeurLu")))
        fenetre.setTxt_ValeurLu(demande.value(QStringLiteral("Txt_ValeurLu")).toString());
    if (demande.contains(QStringLiteral("Cmb_Simulate")))
        fenetre.selectionneMode(mode);

    QStringList changes;
    for (auto it = demande.begin(); it != demande.end(); ++it) {
        const QString valeur = it.value().isBool()
                                   ? (it.value().toBool() ? QStringLiteral("coché")
                                                          : QStringLiteral("décoché"))
                                   : it.value().toString();
        changes << it.key() + QStringLiteral(" = ") + valeur;
    }
    if (!changes.isEmpty())
        journaliseChangement(changes.join(QStringLiteral(", ")));
    return QHttpServerResponse(etat());
}

QHttpServerResponse ApiControle::canaux() const
{
    const CoucheSocket& sockets = fenetre.sockets();
    QJsonArray liste;
    for (int canal = 1; canal <= fenetre.serveur().NbCanaux(); ++canal) {
        if (!sockets.existe(canal))
            continue;
        const int etatSocket = sockets.State(canal);
        liste.append(QJsonObject{
            {QStringLiteral("canal"), canal},
            {QStringLiteral("state"), etatSocket},
            {QStringLiteral("label"), ServeurCanaux::LibelleEtatSocket(etatSocket)},
            {QStringLiteral("remote"), sockets.RemoteHostIP(canal)},
        });
    }
    return QHttpServerResponse(QJsonObject{{QStringLiteral("channels"), liste}});
}

QHttpServerResponse ApiControle::journal(const QHttpServerRequest& requete) const
{
    const QUrlQuery parametres = requete.query();
    QJsonObject reponse{{QStringLiteral("next"), historique.total()}};
    if (parametres.hasQueryItem(QStringLiteral("since"))) {
        bool ok = false;
        const qint64 depuis = parametres.queryItemValue(QStringLiteral("since")).toLongLong(&ok);
        if (!ok || depuis < 0)
            return refus(QStringLiteral("since must be a line number"), QStringLiteral("since"));
        // Lines too old to be kept are counted, so a script knows it missed some.
        reponse.insert(QStringLiteral("first"), historique.premierApres(depuis));
        reponse.insert(QStringLiteral("missed"), historique.perduesApres(depuis));
        reponse.insert(QStringLiteral("lines"), QJsonArray::fromStringList(historique.depuis(depuis)));
        return QHttpServerResponse(reponse);
    }
    QStringList lignes = fenetre.journal().contenu().split(QStringLiteral("\r\n"));
    lignes.removeLast(); // after the final line end
    reponse.insert(QStringLiteral("lines"), QJsonArray::fromStringList(lignes));
    return QHttpServerResponse(reponse);
}

QHttpServerResponse ApiControle::minuteries() const
{
    const RetardTic& retard = fenetre.retardDeplacement();
    return QHttpServerResponse(QJsonObject{
        {QStringLiteral("Timer_Deplacement"),
         QJsonObject{{QStringLiteral("interval_ms"), retard.periodeMs()},
                     {QStringLiteral("ticks"), retard.tics()},
                     {QStringLiteral("late_max_ms"), retard.retardMaxMs()}}}});
}

QHttpServerResponse ApiControle::reinitialise()
{
    fenetre.reinitialiseEtat();
    journaliseChangement(QStringLiteral("remise à zéro, Lbl_PosDemX = Lbl_PosDemZ = Lbl_PosRelleX = "
                                        "Lbl_PosRelleZ = 0, Chk_HOMING_X_ok = Chk_HOMING_Z_ok = "
                                        "Chk_TPnon0 = décoché, Txt_ValeurLu = 500, "
                                        "Cmb_Simulate = automateOMRON"));
    return QHttpServerResponse(etat());
}

void ApiControle::journaliseChangement(const QString& quoi)
{
    fenetre.AfficheMessage(Horodatage(false, HorlogeSysteme::instance())
                           + QStringLiteral(" controle HTTP : ") + quoi);
}

QHttpServerResponse ApiControle::sante() const
{
    return QHttpServerResponse(QJsonObject{
        {QStringLiteral("status"), QStringLiteral("ok")},
        {QStringLiteral("version"), QStringLiteral(VELORIN_VERSION)},
        {QStringLiteral("pid"), QCoreApplication::applicationPid()},
        {QStringLiteral("port"), int(fenetre.portEcoute())},
        {QStringLiteral("mode"), fenetre.Cmb_Simulate()},
    });
}

void ApiControle::routes()
{
    struct Route
    {
        QString chemin;
        Methode methode;
        std::function<QHttpServerResponse(const QHttpServerRequest&)> action;
    };
    const QList<Route> table = {
        {QStringLiteral("/state"), Methode::Get, [this](auto&) { return QHttpServerResponse(etat()); }},
        {QStringLiteral("/state"), Methode::Patch,
         [this](const QHttpServerRequest& r) { return modifieEtat(r.body()); }},
        {QStringLiteral("/channels"), Methode::Get, [this](auto&) { return canaux(); }},
        {QStringLiteral("/log"), Methode::Get,
         [this](const QHttpServerRequest& r) { return journal(r); }},
        {QStringLiteral("/log/clear"), Methode::Post,
         [this](auto&) {
             fenetre.Bt_clearMsg_Click();
             journaliseChangement(QStringLiteral("zone message effacée"));
             return QHttpServerResponse(QJsonObject{{QStringLiteral("next"), historique.total()}});
         }},
        {QStringLiteral("/reset"), Methode::Post, [this](auto&) { return reinitialise(); }},
        {QStringLiteral("/timers"), Methode::Get, [this](auto&) { return minuteries(); }},
        {QStringLiteral("/timers/reset"), Methode::Post,
         [this](auto&) {
             fenetre.retardDeplacement().reinitialise();
             return minuteries();
         }},
        {QStringLiteral("/health"), Methode::Get, [this](auto&) { return sante(); }},
    };

    // One handler per path, so a known path with another method answers 405, not 404.
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
        serveur.route(chemin, [duChemin, chemin](const QHttpServerRequest& requete) {
            QJsonArray permises;
            for (const Route& route : duChemin) {
                if (route.methode == requete.method())
                    return route.action(requete);
                permises.append(nomMethode(route.methode));
            }
            return erreur(Statut::MethodNotAllowed,
                          {{QStringLiteral("error"), QStringLiteral("method not allowed")},
                           {QStringLiteral("path"), chemin},
                           {QStringLiteral("allowed"), permises}});
        });
    }
    serveur.setMissingHandler([](const QHttpServerRequest& requete, QHttpServerResponder&& reponse) {
        const QJsonObject corps{{QStringLiteral("error"), QStringLiteral("not found")},
                                {QStringLiteral("path"), requete.url().path()}};
        reponse.write(QJsonDocument(corps).toJson(QJsonDocument::Compact), "application/json",
                      QHttpServerResponder::StatusCode::NotFound);
    });
}
