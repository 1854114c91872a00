#include "RapportRejeu.h"

#include "trace/Lisible.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

} // namespace

QString rapportTexte(const QList<ReponseComparee>& reponses)
{
    QString texte;
    qsizetype differentes = 0;
    for (const ReponseComparee& r : reponses) {
        if (!r.differe())
            continue;
        ++differentes;
        texte +=
            QStringLiteral("ligne %1, canal %2 : la réponse diffère\n").arg(r.ligne).arg(r.canal);
        texte += QStringLiteral("  requête     : %1\n")
                     .arg(lisible(r.requete, QStringLiteral("(aucune, accueil de l'appareil)")));
        texte += QStringLiteral("  enregistrée : %1\n")
                     .arg(lisible(r.attendue, QStringLiteral("(rien)")));
        texte +=
            QStringLiteral("  reçue       : %1\n").arg(lisible(r.recue, QStringLiteral("(rien)")));
        if (r.coupee)
            texte += QStringLiteral("  (lecture arrêtée à %1 octets : l'appareil en envoyait "
                                    "davantage)\n")
                         .arg(r.recue.size());
        texte += QLatin1Char('\n');
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
        differences.append(difference);
    }
    const QJsonObject document{{QStringLiteral("compared"), reponses.size()},
                               {QStringLiteral("differences"), differences}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}
