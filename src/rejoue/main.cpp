#include "ArgumentsRejeu.h"
#include "CiblesRejeu.h"
#include "RapportJunit.h"
#include "RapportRejeu.h"
#include "Rejoueur.h"
#include "trace/LectureJournal.h"
#include "trace/Lisible.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>

namespace {

// Statuses: every reply as recorded, some differ, nothing could be compared.
constexpr int Concordent = 0;
constexpr int Different = 1;
constexpr int Impossible = 2;

void ecrit(std::FILE* sortie, const QString& texte)
{
    std::fputs(texte.toUtf8().constData(), sortie);
}

// The JUnit file: opened before anything is replayed, so that a path that cannot be written is
// said at once, and put in place whole, or not at all, once the report is known.
struct SortieJunit
{
    QString chemin;
    QString journal;
    std::unique_ptr<QSaveFile> fichier;

    bool ouvre(QString& raison)
    {
        fichier = std::make_unique<QSaveFile>(chemin);
        if (fichier->open(QIODevice::WriteOnly))
            return true;
        raison = QStringLiteral("--junit : impossible d'écrire %1 : %2")
                     .arg(chemin, fichier->errorString());
        fichier.reset();
        return false;
    }

    bool ecrit(const QByteArray& contenu, QString& raison)
    {
        if (chemin.isEmpty())
            return true;
        if (!fichier && !ouvre(raison))
            return false;
        fichier->write(contenu);
        const bool fait = fichier->commit();
        if (!fait)
            raison = QStringLiteral("--junit : impossible d'écrire %1 : %2")
                         .arg(chemin, fichier->errorString());
        fichier.reset();
        return fait;
    }
};

// Nothing could be compared: the reason on stderr, and with --json a document on stdout too,
// so that a program reading it always gets one; with --junit the file says it too, so that a
// dashboard shows the run broken rather than an earlier run's results. What follows the message
// on stderr (the usage line) is not part of the document.
int echec(bool json, const QString& code, const QString& message, const QString& suite = {},
          SortieJunit* junit = nullptr)
{
    ecrit(stderr, QStringLiteral("velorin-rejoue : %1\n").arg(message) + suite);
    QString raison;
    if (junit && !junit->ecrit(rapportJunitEchec(junit->journal, code, message), raison))
        ecrit(stderr, QStringLiteral("velorin-rejoue : %1\n").arg(raison));
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
        // --json and --junit count wherever they stand, even after the argument that is wrong.
        SortieJunit junit{cheminJunit(arguments), options.journal, {}};
        return echec(options.json || arguments.contains(QLatin1String("--json")),
                     QStringLiteral("usage"), *erreur, lignesAideRejeu().first() + '\n', &junit);
    }
    switch (*std::get_if<Demande>(&demande)) {
    case Demande::Aide: ecrit(stdout, lignesAideRejeu().join(QLatin1Char('\n')) + '\n'); return 0;
    case Demande::Version: ecrit(stdout, texteVersionRejeu() + '\n'); return 0;
    case Demande::Rejeu: break;
    }

    SortieJunit junit{options.junit, options.journal, {}};
    QString raison;
    if (!junit.chemin.isEmpty() && !junit.ouvre(raison)) {
        junit.chemin.clear();
        return echec(options.json, QStringLiteral("usage"), raison);
    }
    const auto refus = [&](const QString& code, const QString& message) {
        return echec(options.json, code, message, {}, &junit);
    };

    QString avertissement;
    const auto lu = litJournal(options.journal, &avertissement);
    if (const auto* erreur = std::get_if<ErreurJournal>(&lu))
        return refus(QStringLiteral("journal"),
                     QStringLiteral("%1 : %2").arg(options.journal, erreur->message));
    // A recording stopped short is compared up to its last whole line, and said so.
    if (!avertissement.isEmpty())
        ecrit(stderr,
              QStringLiteral("velorin-rejoue : %1 : %2\n").arg(options.journal, avertissement));

    const QList<Conversation> liste = conversations(*std::get_if<QList<EvenementLu>>(&lu));
    if (const auto manque = appareilManquant(liste))
        return refus(QStringLiteral("journal"),
                     QStringLiteral("%1 : %2").arg(options.journal, *manque));
    std::optional<FichierPretLu> pret;
    if (!options.fichierPret.isEmpty()) {
        auto luPret = litFichierPret(options.fichierPret);
        if (const auto* erreur = std::get_if<QString>(&luPret))
            return refus(QStringLiteral("ready"), *erreur);
        pret = std::get<FichierPretLu>(std::move(luPret));
    }
    auto adresses = cibles(liste, options, pret ? &*pret : nullptr);
    if (const auto* erreur = std::get_if<QString>(&adresses))
        return refus(QStringLiteral("usage"), *erreur);

    Rejoueur::Reglages reglages;
    reglages.cibles = std::get<CiblesRejeu>(std::move(adresses));
    reglages.tempsEnregistre = options.tempsEnregistre;
    reglages.delaiMs = options.delaiMs;
    const auto rejeu = Rejoueur(reglages).rejoue(liste);
    if (const auto* erreur = std::get_if<EchecRejeu>(&rejeu))
        return refus(erreur->code, erreur->message);

    // The failures have been answered above: what is left is the comparison.
    const auto& reponses = *std::get_if<QList<ReponseComparee>>(&rejeu);
    // An empty or cut recording must not pass for a device that answers as recorded.
    if (reponses.isEmpty())
        return refus(
            QStringLiteral("empty"),
            QStringLiteral("%1 : aucun échange à rejouer (ni recv ni send)").arg(options.journal));
    // Before the report: a file that could not be put in place is said, status 2, as a CI job
    // would otherwise read nothing, or an earlier run's file, as this run's verdict.
    if (!junit.ecrit(rapportJunit(options.journal, liste, reponses), raison))
        return echec(options.json, QStringLiteral("junit"), raison);
    if (options.json) {
        std::fputs(rapportJson(reponses).constData(), stdout);
    } else {
        // What Velorin said on its own behalf (its shutdown notice) was never the device's
        // reply: said apart, never compared.
        for (const Conversation& conversation : liste) {
            const QString ou = conversation.appareil.isEmpty()
                                   ? QStringLiteral("canal %1").arg(conversation.canal)
                                   : QStringLiteral("appareil %1, canal %2")
                                         .arg(conversation.appareil)
                                         .arg(conversation.canal);
            for (const QString& avis : conversation.avis)
                ecrit(stdout, QStringLiteral("%1 : avis de Velorin, non comparé : %2\n")
                                  .arg(ou, trsfChaineRecuEnLisible(avis)));
        }
        ecrit(stdout, rapportTexte(reponses));
    }
    const bool differe = std::any_of(reponses.begin(), reponses.end(),
                                     [](const ReponseComparee& r) { return r.differe(); });
    return differe ? Different : Concordent;
}
