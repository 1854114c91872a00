#include "EnregistrementTrafic.h"

#include "Appareil.h"
#include "appareil/EtatAppareil.h"
#include "controle/ApiControle.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/Journal.h"

#include <cstdio>

namespace {

constexpr qint64 TailleMin = 4096;

} // namespace

std::optional<qint64> EnregistrementTrafic::tailleValide(const QString& texte)
{
    QString chiffres = texte.toUpper();
    qint64 unite = 1;
    if (chiffres.endsWith(QLatin1Char('K')))
        unite = 1024;
    else if (chiffres.endsWith(QLatin1Char('M')))
        unite = 1024 * 1024;
    else if (chiffres.endsWith(QLatin1Char('G')))
        unite = 1024 * 1024 * 1024;
    if (unite > 1)
        chiffres.chop(1);
    bool ok = !chiffres.isEmpty();
    for (const QChar c : chiffres)
        ok = ok && c.isDigit() && c.unicode() < 0x80;
    const qint64 nombre = ok ? chiffres.toLongLong(&ok) : 0;
    if (!ok || nombre > (qint64(1) << 50) / unite || nombre * unite < TailleMin)
        return std::nullopt;
    return nombre * unite;
}

EnregistrementTrafic::EnregistrementTrafic(Journal& journalMessages_, EtatAppareil& etat_,
                                           Appareil& appareil_)
    : journalMessages(journalMessages_), etatAppareil(&etat_), appareil(&appareil_)
{
}

EnregistrementTrafic::EnregistrementTrafic(Journal& journalMessages_)
    : journalMessages(journalMessages_)
{
}

bool EnregistrementTrafic::ouvre(const QString& chemin, qint64 tailleMax, QString& raison,
                                 const std::function<bool()>& interrompu)
{
    if (!journal.ouvreFichier(chemin, tailleMax, raison, interrompu))
        return false;
    cheminFichier = chemin;
    QObject::connect(&journal, &JournalTrafic::etatFichierChange, &journal,
                     [this] { surEtatFichier(); });
    if (!appareil)
        return true;
    using T = SortieEvenements::Type;
    appareil->serveur().setJournalTrafic(&journal);
    appareil->defauts().setJournalTrafic(&journal);
    QObject::connect(&journalMessages, &Journal::messageJournalise, &journal,
                     [this](const QString& ligne) { journal.evenement(T::Log, ligne); });
    QObject::connect(&appareil->horloge(), &HorlogeDispositif::changement, &journal,
                     [this] { journal.evenement(T::Horloge, appareil->horloge().description()); });
    QObject::connect(etatAppareil, &EtatAppareil::modeChange, &journal,
                     [this] { journal.evenement(T::Mode, etatAppareil->Cmb_Simulate()); });
    return true;
}

// Said at once to the operator and to whatever runs Velorin: a journal with a gap must not be
// taken for a whole one.
void EnregistrementTrafic::signale(const QString& texte)
{
    const QString ligne = Horodatage(false, HorlogeSysteme::instance()) + QLatin1Char(' ') + texte;
    journalMessages.AfficheMessage(ligne);
    std::fprintf(stderr, "%s\n", ligne.toUtf8().constData());
    std::fflush(stderr);
}

void EnregistrementTrafic::surEtatFichier()
{
    const JournalTrafic::EtatFichier etat = journal.etatFichier();
    if (etat.enErreur)
        signale(QStringLiteral("écriture impossible dans le fichier JOURNAL \"") + cheminFichier
                + QStringLiteral("\" : ") + etat.raison
                + QStringLiteral(", les événements sont perdus jusqu'à ce qu'elle reprenne"));
    else
        signale(QStringLiteral("l'écriture du fichier JOURNAL \"") + cheminFichier
                + QStringLiteral("\" reprend, %1 événements perdus").arg(etat.perdusEpisode));
}

qint64 EnregistrementTrafic::termine()
{
    const qint64 perdus = journal.fermeFichier().perdus;
    if (perdus > 0)
        signale(QStringLiteral("fichier JOURNAL \"") + cheminFichier
                + QStringLiteral("\" incomplet : %1 événements perdus").arg(perdus));
    return perdus;
}

void EnregistrementTrafic::ecoute(const QString& adresse)
{
    journal.evenement(SortieEvenements::Type::Ecoute, 0, adresse, nullptr);
}

void EnregistrementTrafic::surveille(ApiControle& api)
{
    api.setObservateur(
        [this](const QString& methode, const QString& chemin, const QByteArray& corps) {
            QString texte = methode + QLatin1Char(' ') + chemin;
            if (!corps.isEmpty())
                texte += QLatin1Char(' ') + QString::fromUtf8(corps);
            journal.evenement(SortieEvenements::Type::Controle, texte);
        });
}

QJsonObject EnregistrementTrafic::sante() const
{
    const JournalTrafic::EtatFichier etat = journal.etatFichier();
    QJsonObject objet{
        {QStringLiteral("state"), etat.enErreur ? QStringLiteral("error") : QStringLiteral("ok")},
        {QStringLiteral("lost"), etat.perdus}};
    if (etat.enErreur)
        objet.insert(QStringLiteral("reason"), etat.raison);
    return objet;
}
