#include "CiblesRejeu.h"

#include "trace/LectureBornee.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>

namespace {

// A ready file is a few hundred bytes; anything far larger is not one.
constexpr qint64 TailleMaxPret = 1024 * 1024;

const QString Local = QStringLiteral("127.0.0.1");

std::optional<quint16> port(const QJsonValue& valeur)
{
    const double n = valeur.toDouble(-1);
    if (!valeur.isDouble() || n < 1 || n > 65535 || n != double(qint64(n)))
        return std::nullopt;
    return quint16(n);
}

} // namespace

QStringList appareilsDuJournal(const QList<Conversation>& liste)
{
    QStringList noms;
    for (const Conversation& conversation : liste) {
        // A connection that exchanged nothing is never opened again: its device needs no
        // address.
        if (!conversation.appareil.isEmpty() && !conversation.echanges.isEmpty()
            && !noms.contains(conversation.appareil))
            noms.append(conversation.appareil);
    }
    return noms;
}

std::optional<QString> appareilManquant(const QList<Conversation>& liste)
{
    const bool nommes = std::any_of(liste.begin(), liste.end(),
                                    [](const Conversation& c) { return !c.appareil.isEmpty(); });
    if (!nommes)
        return std::nullopt;
    for (const Conversation& conversation : liste) {
        if (conversation.appareil.isEmpty())
            return QStringLiteral("ligne %1 : canal %2 sans \"device\", quand d'autres "
                                  "événements du journal nomment leur appareil")
                .arg(conversation.ligne)
                .arg(conversation.canal);
    }
    return std::nullopt;
}

std::variant<FichierPretLu, QString> litFichierPret(const QString& chemin)
{
    const auto lu = LectureBornee{TailleMaxPret, {}}.lit(chemin);
    if (const auto* echec = std::get_if<LectureBornee::Echec>(&lu))
        return QStringLiteral("impossible de lire le fichier prêt %1 : %2")
            .arg(chemin, echec->message);
    QJsonParseError erreur{};
    const QJsonDocument document = QJsonDocument::fromJson(std::get<QByteArray>(lu), &erreur);
    const auto refus = [&](const QString& raison) {
        return QStringLiteral("fichier prêt %1 : %2").arg(chemin, raison);
    };
    if (erreur.error != QJsonParseError::NoError || !document.isObject())
        return refus(QStringLiteral("un objet JSON est attendu"));
    const QJsonObject objet = document.object();
    FichierPretLu pret;
    const auto premier = port(objet.value(QLatin1String("port")));
    if (!premier)
        return refus(QStringLiteral("\"port\" doit être un port de 1 à 65535"));
    pret.port = *premier;
    const QJsonValue appareils = objet.value(QLatin1String("devices"));
    if (appareils.isUndefined())
        return pret;
    if (!appareils.isArray())
        return refus(QStringLiteral("\"devices\" doit être une liste"));
    const QJsonArray liste = appareils.toArray();
    for (const auto& valeur : liste) {
        const QJsonObject appareil = valeur.toObject();
        const QString nom = appareil.value(QLatin1String("name")).toString();
        const auto sien = port(appareil.value(QLatin1String("port")));
        if (!nomAppareilValide(nom) || !sien)
            return refus(QStringLiteral("chaque appareil de \"devices\" veut un \"name\" et un "
                                        "\"port\" de 1 à 65535"));
        pret.appareils.append(AdresseAppareil{nom, HotePort{Local, *sien}});
    }
    return pret;
}

std::variant<CiblesRejeu, QString> cibles(const QList<Conversation>& liste,
                                          const OptionsRejeu& options, const FichierPretLu* pret)
{
    const QStringList noms = appareilsDuJournal(liste);
    const bool nommes = std::any_of(liste.begin(), liste.end(),
                                    [](const Conversation& c) { return !c.appareil.isEmpty(); });
    CiblesRejeu resultat;
    if (!nommes) {
        // A one-device journal goes to the one address, or to the ready file's first port.
        if (!options.appareils.isEmpty())
            return QStringLiteral("le journal est d'un seul appareil (ses événements ne "
                                  "nomment pas de \"device\") : une adresse HOTE:PORT est "
                                  "attendue, pas NOM=HOTE:PORT");
        resultat.insert(QString(),
                        pret ? HotePort{Local, pret->port} : HotePort{options.hote, options.port});
        return resultat;
    }
    if (!pret && options.appareils.isEmpty() && !noms.isEmpty())
        return QStringLiteral("le journal nomme ses appareils (%1) : une adresse NOM=HOTE:PORT "
                              "est attendue pour chacun")
            .arg(noms.join(QStringLiteral(", ")));
    const QList<AdresseAppareil>& donnees = pret ? pret->appareils : options.appareils;
    for (const QString& nom : noms) {
        const auto trouve = std::find_if(donnees.begin(), donnees.end(),
                                         [&](const AdresseAppareil& a) { return a.nom == nom; });
        if (trouve == donnees.end())
            return pret ? QStringLiteral("l'appareil %1 du journal n'est pas dans \"devices\" du "
                                         "fichier prêt %2")
                              .arg(nom, options.fichierPret)
                        : QStringLiteral("aucune adresse pour l'appareil %1 du journal "
                                         "(%1=HOTE:PORT)")
                              .arg(nom);
        resultat.insert(nom, trouve->adresse);
    }
    return resultat;
}
