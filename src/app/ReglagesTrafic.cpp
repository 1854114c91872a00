#include "ReglagesTrafic.h"

#include "Appareil.h"
#include "EnregistrementTrafic.h"
#include "LigneCommande.h"
#include "sim/ReponsesEnregistrees.h"
#include "trace/LectureJournal.h"
#include "trace/SortieMessages.h"
#include "trace/ValeursCles.h"

#include <algorithm>

namespace {

std::optional<QString> ouvreJournal(const LigneCommande& parametres,
                                    EnregistrementTrafic* enregistrement, SortieMessages& journal,
                                    const std::function<bool()>& interrompu)
{
    qint64 taille = JournalTrafic::TailleFichierParDefaut;
    if (parametres.tailleJournalTrafic) {
        const auto lue = EnregistrementTrafic::tailleValide(*parametres.tailleJournalTrafic);
        if (!lue)
            return QStringLiteral("taille JOURNAL_MAX invalide \"")
                   + *parametres.tailleJournalTrafic
                   + QStringLiteral("\" : un nombre d'octets de 4096 à 2^50 est attendu, suivi "
                                    "de K, M ou G au besoin");
        taille = *lue;
        // A key that only qualifies another one, given alone, is said and changes nothing.
        if (!enregistrement)
            journal.AfficheMessage(QStringLiteral("JOURNAL_MAX= sans JOURNAL= : ignoré"));
    }
    QString raison;
    if (enregistrement
        && !enregistrement->ouvre(*parametres.journalTrafic, taille, raison, interrompu)) {
        if (interrompu && interrompu()) {
            journal.AfficheMessage(
                QStringLiteral("arrêt demandé pendant l'ouverture du fichier JOURNAL"));
            return QString();
        }
        return QStringLiteral("impossible d'ouvrir le fichier JOURNAL \"")
               + *parametres.journalTrafic + QStringLiteral("\" : ") + raison;
    }
    return std::nullopt;
}

// A machine's journal holds every device's conversations, and two devices may be asked the
// same bytes and answer them apart: a device named in it plays back its own part only.
QList<Conversation> partDe(QList<Conversation> toutes, const QString& nomAppareil)
{
    const auto sienne = [&nomAppareil](const Conversation& c) { return c.appareil == nomAppareil; };
    if (nomAppareil.isEmpty() || std::none_of(toutes.cbegin(), toutes.cend(), sienne))
        return toutes;
    toutes.removeIf([&sienne](const Conversation& c) { return !sienne(c); });
    return toutes;
}

std::optional<QString> rejoue(const LigneCommande& parametres, Appareil& appareil,
                              SortieMessages& journal, const std::function<bool()>& interrompu,
                              const QString& nomAppareil)
{
    if (parametres.rejeuSinon && *parametres.rejeuSinon != QLatin1String("SIM")
        && *parametres.rejeuSinon != QLatin1String("NONE"))
        return QStringLiteral("PLAYBACK_FALLBACK invalide \"") + *parametres.rejeuSinon
               + QStringLiteral("\" : SIM ou NONE est attendu");
    if (!parametres.rejeu) {
        if (parametres.rejeuSinon)
            journal.AfficheMessage(QStringLiteral("PLAYBACK_FALLBACK= sans PLAYBACK= : ignoré"));
        return std::nullopt;
    }
    QString avertissement;
    const auto lu = litJournal(*parametres.rejeu, &avertissement, interrompu);
    if (const auto* erreur = std::get_if<ErreurJournal>(&lu)) {
        if (erreur->interrompue) {
            journal.AfficheMessage(
                QStringLiteral("arrêt demandé pendant la lecture du fichier PLAYBACK"));
            return QString();
        }
        return QStringLiteral("journal PLAYBACK invalide \"") + *parametres.rejeu
               + QStringLiteral("\" : ") + erreur->message;
    }
    if (!avertissement.isEmpty())
        journal.AfficheMessage(QStringLiteral("journal PLAYBACK \"") + *parametres.rejeu
                               + QStringLiteral("\" : ") + avertissement);
    const QList<Conversation> toutes = conversations(*std::get_if<QList<EvenementLu>>(&lu));
    const QList<Conversation> siennes = partDe(toutes, nomAppareil);
    auto reponses = std::make_unique<ReponsesEnregistrees>(siennes);
    journal.AfficheMessage(
        QStringLiteral("rejeu de \"") + *parametres.rejeu
        + (siennes.size() == toutes.size() ? QString()
                                           : QStringLiteral("\" pour l'appareil \"") + nomAppareil)
        + QStringLiteral("\" : %1 requêtes enregistrées").arg(reponses->nombreRequetes()));
    appareil.rejoue(std::move(reponses), parametres.rejeuSinon == QLatin1String("SIM"), journal);
    return std::nullopt;
}

} // namespace

std::optional<QString> appliqueReglagesTrafic(const LigneCommande& parametres, Appareil& appareil,
                                              EnregistrementTrafic* enregistrement,
                                              SortieMessages& journal,
                                              const std::function<bool()>& interrompu,
                                              const QString& nomAppareil)
{
    if (auto refus = ouvreJournal(parametres, enregistrement, journal, interrompu))
        return refus;
    if (parametres.relais && parametres.rejeu)
        return QStringLiteral("PROXY et PLAYBACK ne vont pas ensemble");
    if (parametres.relais) {
        const auto adresse = litHotePort(*parametres.relais);
        if (!adresse)
            return QStringLiteral("adresse PROXY invalide \"") + *parametres.relais
                   + QStringLiteral("\" : hôte:port est attendu");
        appareil.relaie(adresse->hote, adresse->port, journal);
    }
    return rejoue(parametres, appareil, journal, interrompu, nomAppareil);
}
