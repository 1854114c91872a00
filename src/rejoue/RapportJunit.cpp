#include "RapportJunit.h"

#include "RapportRejeu.h"
#include "trace/Lisible.h"

#include <QHash>

namespace {

const QString Classe = QStringLiteral("velorin-rejoue");

QString attribut(const char* nom, const QString& valeur)
{
    return QStringLiteral(" %1=\"%2\"").arg(QLatin1String(nom), echappeXml(valeur, true));
}

QString nombre(const char* nom, qsizetype valeur)
{
    return attribut(nom, QString::number(valeur));
}

QByteArray document(const QString& journal, qsizetype cas, qsizetype echecs, qsizetype erreurs,
                    const QString& contenu)
{
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuite")
            + attribut("name", journal.isEmpty() ? Classe : journal) + nombre("tests", cas)
            + nombre("failures", echecs) + nombre("errors", erreurs) + nombre("skipped", 0)
            + QStringLiteral(">\n") + contenu + QStringLiteral("</testsuite>\n"))
        .toUtf8();
}

} // namespace

QString echappeXml(const QString& texte, bool dansAttribut)
{
    QString sortie;
    sortie.reserve(texte.size());
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const QChar c = texte[i];
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < texte.size() && texte[i + 1].isLowSurrogate()) {
            sortie += c;
            sortie += texte[++i];
        } else if (c.isSurrogate() || u == 0xFFFE || u == 0xFFFF) {
            sortie += QChar(0xFFFD);
        } else if (u == '&') {
            sortie += QLatin1String("&amp;");
        } else if (u == '<') {
            sortie += QLatin1String("&lt;");
        } else if (u == '>') {
            sortie += QLatin1String("&gt;");
        } else if (u == '"') {
            sortie += QLatin1String("&quot;");
        } else if (u == '\'') {
            sortie += QLatin1String("&apos;");
        } else if (u == '\n' || u == '\t') {
            // An attribute's parser would make a raw one a space.
            if (dansAttribut)
                sortie += QStringLiteral("&#%1;").arg(int(u));
            else
                sortie += c;
        } else if (u < 0x20) {
            // Its readable form may hold '&' ("&4&"): escaped in turn, it is printable.
            sortie += echappeXml(trsfChaineRecuEnLisible(QString(c)), dansAttribut);
        } else {
            sortie += c;
        }
    }
    return sortie;
}

QByteArray rapportJunit(const QString& journal, const QList<Conversation>& liste,
                        const QList<ReponseComparee>& reponses)
{
    // The replies of each conversation, in the order they were compared.
    QHash<qsizetype, QList<const ReponseComparee*>> parConversation;
    for (const ReponseComparee& r : reponses)
        parConversation[r.conversation].append(&r);

    QString contenu;
    qsizetype cas = 0;
    qsizetype echecs = 0;
    // Connections are numbered per device, from 1, as the journal has them.
    QHash<QString, qsizetype> numeros;
    for (qsizetype c = 0; c < liste.size(); ++c) {
        const Conversation& conversation = liste[c];
        const auto trouve = parConversation.constFind(c);
        if (trouve == parConversation.constEnd())
            continue;
        ++cas;
        QString nom = QStringLiteral("connexion %1, canal %2, ligne %3")
                          .arg(++numeros[conversation.appareil])
                          .arg(conversation.canal)
                          .arg(conversation.ligne);
        QString classe = Classe;
        if (!conversation.appareil.isEmpty()) {
            nom = conversation.appareil + QStringLiteral(", ") + nom;
            classe += QLatin1Char('.') + conversation.appareil;
        }
        QString echecsDuCas;
        for (const ReponseComparee* r : *trouve) {
            if (!r->differe())
                continue;
            echecsDuCas +=
                QStringLiteral("    <failure") + attribut("type", QStringLiteral("difference"))
                + attribut("message", titreDifference(*r)) + QLatin1Char('>')
                + echappeXml(detailDifference(*r), false) + QStringLiteral("</failure>\n");
        }
        contenu +=
            QStringLiteral("  <testcase") + attribut("classname", classe) + attribut("name", nom);
        if (echecsDuCas.isEmpty()) {
            contenu += QStringLiteral("/>\n");
        } else {
            ++echecs;
            contenu += QStringLiteral(">\n") + echecsDuCas + QStringLiteral("  </testcase>\n");
        }
    }
    return document(journal, cas, echecs, 0, contenu);
}

QByteArray rapportJunitEchec(const QString& journal, const QString& code, const QString& message)
{
    const QString contenu =
        QStringLiteral("  <testcase") + attribut("classname", Classe)
        + attribut("name", QStringLiteral("rejeu")) + QStringLiteral(">\n    <error")
        + attribut("type", code) + attribut("message", message) + QLatin1Char('>')
        + echappeXml(message, false) + QStringLiteral("</error>\n  </testcase>\n");
    return document(journal, 1, 0, 1, contenu);
}
