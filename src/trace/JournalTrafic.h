#pragma once

#include "AnneauNumerote.h"
#include "FormatEvenement.h"
#include "SortieEvenements.h"

#include <QByteArrayList>
#include <QObject>

#include <functional>
#include <memory>

class SortieLignes;

// The traffic journal: every event as a line of JSON, numbered from 1, the newest kept for the
// control API (bounded in count and size) and, with a file, written to it without the window
// thread ever waiting (see SortieLignes). The file is bounded too: past its size it turns over
// to "<file>.1", one kept. Lines the file could not take in time are counted, and said in it.
// A file that refuses writes (a full disk) loses the events meanwhile, counted, and takes the
// next ones once it can: a line is in it whole or not at all.
class JournalTrafic : public QObject, public SortieEvenements
{
    Q_OBJECT

public:
    static constexpr qsizetype EvenementsGardes = 10000;
    static constexpr qsizetype CaracteresGardes = 8 * 1024 * 1024;
    static constexpr qint64 TailleFichierParDefaut = 100 * 1024 * 1024;
    // What may wait for the file: room for a burst of traffic while the disk catches up.
    static constexpr qsizetype AttenteMax = 64 * 1024 * 1024;

    explicit JournalTrafic(QObject* parent = nullptr);
    ~JournalTrafic() override;

    // Starts the file afresh. A regular file turns over past `tailleMax`; a pipe or a device
    // never does. False, with the reason, when it cannot be opened; a FIFO is waited for until
    // its reader comes or `interrompu` says to stop (see ouvreEnEcriture).
    bool ouvreFichier(const QString& chemin, qint64 tailleMax, QString& raison,
                      const std::function<bool()>& interrompu = {});

    // How the file fares: writes failing now and why, events lost so far (for want of room or
    // to failed writes), and those lost while writes last failed, once they work again.
    struct EtatFichier
    {
        bool enErreur = false;
        QString raison;
        qint64 perdus = 0;
        qint64 perdusEpisode = 0;
    };
    EtatFichier etatFichier() const;
    // The end: the file written out and closed, the losses final.
    EtatFichier fermeFichier();

    using SortieEvenements::evenement;
    void evenement(Type type, int canal, const QString& pair, const QString* donnees) override;
    // The same from one device of a machine, named in the event.
    void evenementAppareil(const QString& appareil, Type type, int canal, const QString& pair,
                           const QString* donnees);

    // Number of events so far.
    qint64 total() const { return anneau.total(); }
    // The kept events numbered above `apres`, the number of the first, and how many above
    // `apres` are no longer kept.
    struct Extrait
    {
        QByteArrayList lignes;
        qint64 premier = 0;
        qint64 perdus = 0;
    };
    Extrait depuis(qint64 apres) const;

signals:
    // Writes to the file have started failing, or work again (see etatFichier).
    void etatFichierChange();
    // An event was added.
    void ajoute();

private:
    void surChangementFichier();
    void ajouteLigne(QByteArray ligne);

    EtatFichier etatEcriture;
    qint64 perdusAvantEpisode = 0;
    FormatEvenement format;
    AnneauNumerote<QByteArray> anneau{EvenementsGardes, CaracteresGardes};
    std::unique_ptr<SortieLignes> fichier;
};

// Where one device of a machine sends its events: the process's journal, each event naming it.
class SortieEvenementsAppareil : public SortieEvenements
{
public:
    SortieEvenementsAppareil(JournalTrafic& journal_, QString nom_)
        : journal(journal_), nom(std::move(nom_))
    {
    }
    using SortieEvenements::evenement;
    void evenement(Type type, int canal, const QString& pair, const QString* donnees) override
    {
        journal.evenementAppareil(nom, type, canal, pair, donnees);
    }

private:
    JournalTrafic& journal;
    QString nom;
};
