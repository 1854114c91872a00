#include "ArgumentsRejeu.h"
#include "RapportRejeu.h"
#include "Rejoueur.h"
#include "trace/LectureJournal.h"
#include "trace/Lisible.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace {

// Statuses: every reply as recorded, some differ, nothing could be compared.
constexpr int Concordent = 0;
constexpr int Different = 1;
constexpr int Impossible = 2;

void ecrit(std::FILE* sortie, const QString& texte)
{
    std::fputs(texte.toUtf8().constData(), sortie);
}

// Nothing could be compared: the reason on stderr, and with --json a document on stdout too,
// so that a program reading it always gets one. What follows the message on stderr (the usage
// line) is not part of the document.
int echec(bool json, const QString& code, const QString& message, const QString& suite = {})
{
    ecrit(stderr, QStringLiteral("velorin-rejoue : %1\n").arg(message) + suite);
    if (json)
        std::fputs(QJsonDocument(QJsonObject{{QStringLiteral("status"), Impossible},
                                             {QStringLiteral("error"), message},
                                             {QStringLiteral("code"), code}})
                       .toJson(QJsonDocument::Indented)
                       .constData(),
                   stdout);
    return Impossible;
}

} // namespace

int main(int argc, char* argv[])
{
    // A device that has gone must not take the process with it.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication application(argc, argv);

    OptionsRejeu options;
    const QStringList arguments = application.arguments().mid(1);
    const auto demande = litArguments(arguments, options);
    if (const auto* erreur = std::get_if<QString>(&demande)) {
        // --json counts wherever it stands, even after the argument that is wrong.
        return echec(options.json || arguments.contains(QLatin1String("--json")),
                     QStringLiteral("usage"), *erreur, lignesAideRejeu().first() + '\n');
    }
    switch (*std::get_if<Demande>(&demande)) {
    case Demande::Aide: ecrit(stdout, lignesAideRejeu().join(QLatin1Char('\n')) + '\n'); return 0;
    case Demande::Version: ecrit(stdout, texteVersionRejeu() + '\n'); return 0;
    case Demande::Rejeu: break;
    }

    QString avertissement;
    const auto lu = litJournal(options.journal, &avertissement);
    if (const auto* erreur = std::get_if<ErreurJournal>(&lu))
        return echec(options.json, QStringLiteral("journal"),
                     QStringLiteral("%1 : %2").arg(options.journal, erreur->message));
    // A recording stopped short is compared up to its last whole line, and said so.
    if (!avertissement.isEmpty())
        ecrit(stderr,
              QStringLiteral("velorin-rejoue : %1 : %2\n").arg(options.journal, avertissement));

    const QList<Conversation> liste = conversations(*std::get_if<QList<EvenementLu>>(&lu));
    Rejoueur::Reglages reglages;
    reglages.hote = options.hote;
    reglages.port = options.port;
    reglages.tempsEnregistre = options.tempsEnregistre;
    reglages.delaiMs = options.delaiMs;
    const auto rejeu = Rejoueur(reglages).rejoue(liste);
    if (const auto* erreur = std::get_if<EchecRejeu>(&rejeu))
        return echec(options.json, erreur->code, erreur->message);

    // The failures have been answered above: what is left is the comparison.
    const auto& reponses = *std::get_if<QList<ReponseComparee>>(&rejeu);
    // An empty or cut recording must not pass for a device that answers as recorded.
    if (reponses.isEmpty())
        return echec(
            options.json, QStringLiteral("empty"),
            QStringLiteral("%1 : aucun échange à rejouer (ni recv ni send)").arg(options.journal));
    if (options.json) {
        std::fputs(rapportJson(reponses).constData(), stdout);
    } else {
        // What Velorin said on its own behalf (its shutdown notice) was never the device's
        // reply: said apart, never compared.
        for (const Conversation& conversation : liste) {
            for (const QString& avis : conversation.avis)
                ecrit(stdout, QStringLiteral("canal %1 : avis de Velorin, non comparé : %2\n")
                                  .arg(conversation.canal)
                                  .arg(trsfChaineRecuEnLisible(avis)));
        }
        ecrit(stdout, rapportTexte(reponses));
    }
    const bool differe = std::any_of(reponses.begin(), reponses.end(),
                                     [](const ReponseComparee& r) { return r.differe(); });
    return differe ? Different : Concordent;
}
