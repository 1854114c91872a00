#include "JournalTrafic.h"

#include "OuvertureEcriture.h"
#include "SortieLignes.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

JournalTrafic::JournalTrafic(QObject* parent) : QObject(parent) {}

JournalTrafic::~JournalTrafic() = default;

bool JournalTrafic::ouvreFichier(const QString& chemin, qint64 tailleMax, QString& raison,
                                 const std::function<bool()>& interrompu)
{
    const QByteArray nom = QFile::encodeName(chemin);
    const int descripteur =
        ouvreEnEcriture(nom, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, interrompu);
    if (descripteur < 0) {
        raison = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    SortieLignes::Reglages reglages;
    reglages.limite = AttenteMax;
    reglages.ligneDePerte = [this](qint64 perdus) {
        const QString texte =
            QString::number(perdus)
            + QStringLiteral(" événements du journal perdus : le fichier ne suivait pas");
        return format.ligne(Type::Erreur, -1, QString(), &texte) + '\n';
    };
    struct stat etat
    {
    };
    if (::fstat(descripteur, &etat) == 0 && S_ISREG(etat.st_mode)) {
        // Run on the writer's thread: only the name is shared, and it never changes.
        reglages.rotation.tailleMax = qsizetype(tailleMax);
        reglages.rotation.rouvre = [nom] {
            ::rename(nom.constData(), (nom + ".1").constData());
            return ::open(nom.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        };
    }
    reglages.reprise = true;
    reglages.changement = [this] { surChangementFichier(); };
    etatEcriture = EtatFichier{};
    perdusAvantEpisode = 0;
    fichier = std::make_unique<SortieLignes>(descripteur, true, std::move(reglages));
    return true;
}

void JournalTrafic::surChangementFichier()
{
    if (!fichier)
        return;
    const BilanSortie bilan = fichier->bilan();
    const bool enErreur = bilan.erreur != 0;
    if (enErreur == etatEcriture.enErreur)
        return;
    etatEcriture.enErreur = enErreur;
    if (enErreur) {
        etatEcriture.raison = QString::fromLocal8Bit(std::strerror(bilan.erreur));
    } else {
        etatEcriture.perdusEpisode = bilan.lignesPerdues - perdusAvantEpisode;
        perdusAvantEpisode = bilan.lignesPerdues;
        // The file itself says where its gap is.
        const QString texte =
            QString::number(etatEcriture.perdusEpisode)
            + QStringLiteral(" événements du journal perdus : écriture impossible (")
            + etatEcriture.raison + QLatin1Char(')');
        evenement(Type::Erreur, texte);
    }
    etatEcriture.perdus = bilan.lignesPerdues;
    emit etatFichierChange();
}

JournalTrafic::EtatFichier JournalTrafic::etatFichier() const
{
    EtatFichier e = etatEcriture;
    if (fichier)
        e.perdus = fichier->bilan().lignesPerdues;
    return e;
}

JournalTrafic::EtatFichier JournalTrafic::fermeFichier()
{
    if (fichier) {
        etatEcriture.perdus = fichier->ferme().lignesPerdues;
        fichier.reset();
    }
    return etatEcriture;
}

void JournalTrafic::evenement(Type type, int canal, const QString& pair, const QString* donnees)
{
    ajouteLigne(format.ligne(type, canal, pair, donnees));
}

void JournalTrafic::evenementAppareil(const QString& appareil, Type type, int canal,
                                      const QString& pair, const QString* donnees)
{
    ajouteLigne(format.ligne(type, canal, pair, donnees, &appareil));
}

void JournalTrafic::ajouteLigne(QByteArray ligne)
{
    if (fichier)
        fichier->ecritOctets(ligne);
    anneau.ajoute(std::move(ligne));
    emit ajoute();
}

JournalTrafic::Extrait JournalTrafic::depuis(qint64 apres) const
{
    return Extrait{anneau.depuis(apres), anneau.premierApres(apres), anneau.perduesApres(apres)};
}
