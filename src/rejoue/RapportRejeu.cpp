#include "RapportRejeu.h"

#include "trace/Lisible.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

QString lisible(const QString& octets, const QString& siVide)
{
    return octets.isEmpty() ? siVide : trsfChaineRecuEnLisible(octets);
}

QString resume(qsizetype comparees, qsizetype differentes)
{
    const QString nombre = comparees == 1 ? QStringLiteral("1 réponse comparée")
                                          : QStringLiteral("%1 réponses comparées").arg(comparees);
    if (differentes == 0)
        return nombre + QStringLiteral(", aucune ne diffère");
    if (differentes == 1)
        return nombre + QStringLiteral(", 1 diffère");
    return nombre + QStringLiteral(", %1 diffèrent").arg(differentes);
}

// Per device, in order of first appearance: its replies compared and those that differ.
struct Compte
{
    QString appareil;
    qsizetype comparees = 0;
    qsizetype differentes = 0;
};

QList<Compte> comptes(const QList<ReponseComparee>& reponses)
{
    QList<Compte> liste;
    for (const ReponseComparee& r : reponses) {
        auto it = std::find_if(liste.begin(), liste.end(),
                               [&](const Compte& c) { return c.appareil == r.appareil; });
        if (it == liste.end())
            it = liste.insert(liste.end(), Compte{r.appareil});
        ++it->comparees;
        it->differentes += r.differe() ? 1 : 0;
    }
    return liste;
}

bool plusieursAppareils(const QList<ReponseComparee>& reponses)
{
    return std::any_of(reponses.begin(), reponses.end(),
                       [](const ReponseComparee& r) { return !r.appareil.isEmpty(); });
}

} // namespace

QString titreDifference(const ReponseComparee& r)
{
    if (r.appareil.isEmpty())
        return QStringLiteral("ligne %1, canal %2 : la réponse diffère").arg(r.ligne).arg(r.canal);
    return QStringLiteral("ligne %1, appareil %2, canal %3 : la réponse diffère")
        .arg(r.ligne)
        .arg(r.appareil)
        .arg(r.canal);
}

QString detailDifference(const ReponseComparee& r)
{
    QString texte;
    texte += QStringLiteral("  requête     : %1\n")
                 .arg(lisible(r.requete, QStringLiteral("(aucune, accueil de l'appareil)")));
    texte +=
        QStringLiteral("  enregistrée : %1\n").arg(lisible(r.attendue, QStringLiteral("(rien)")));
    texte += QStringLiteral("  reçue       : %1\n").arg(lisible(r.recue, QStringLiteral("(rien)")));
    if (r.coupee)
        texte += QStringLiteral("  (lecture arrêtée à %1 octets : l'appareil en envoyait "
                                "davantage)\n")
                     .arg(r.recue.size());
    return texte;
}

QString rapportTexte(const QList<ReponseComparee>& reponses)
{
    QString texte;
    qsizetype differentes = 0;
    for (const ReponseComparee& r : reponses) {
        if (!r.differe())
            continue;
        ++differentes;
        texte += titreDifference(r) + QLatin1Char('\n') + detailDifference(r) + QLatin1Char('\n');
    }
    // Several devices: each its own line, then the whole.
    if (plusieursAppareils(reponses)) {
        for (const Compte& c : comptes(reponses))
            texte +=
                QStringLiteral("%1 : %2\n").arg(c.appareil, resume(c.comparees, c.differentes));
    }
    return texte + resume(reponses.size(), differentes) + QLatin1Char('\n');
}

QByteArray rapportJson(const QList<ReponseComparee>& reponses)
{
    QJsonArray differences;
    for (const ReponseComparee& r : reponses) {
        if (!r.differe())
            continue;
        QJsonObject difference{
            {QStringLiteral("line"), r.ligne},
            {QStringLiteral("channel"), r.canal},
            {QStringLiteral("request"), trsfChaineRecuEnLisible(r.requete)},
            {QStringLiteral("expected"), trsfChaineRecuEnLisible(r.attendue)},
            {QStringLiteral("received"), trsfChaineRecuEnLisible(r.recue)},
            {QStringLiteral("request_bytes"), r.requete},
            {QStringLiteral("expected_bytes"), r.attendue},
            {QStringLiteral("received_bytes"), r.recue},
        };
        if (r.coupee)
            difference.insert(QStringLiteral("received_cut"), true);
        if (!r.appareil.isEmpty())
            difference.insert(QStringLiteral("device"), r.appareil);
        differences.append(difference);
    }
    QJsonObject document{{QStringLiteral("compared"), reponses.size()},
                         {QStringLiteral("differences"), differences}};
    if (plusieursAppareils(reponses)) {
        QJsonArray appareils;
        for (const Compte& c : comptes(reponses))
            appareils.append(QJsonObject{{QStringLiteral("name"), c.appareil},
                                         {QStringLiteral("compared"), c.comparees},
                                         {QStringLiteral("differing"), c.differentes}});
        document.insert(QStringLiteral("devices"), appareils);
    }
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}
