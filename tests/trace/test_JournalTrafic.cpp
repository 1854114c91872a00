#include "support/Attente.h"
#include "trace/JournalTrafic.h"
#include "trace/LectureJournal.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

namespace {

// A bound on the size of any file this process writes: writes past it fail (EFBIG), a write
// that crosses it is cut short. Lifted again when it goes.
class LimiteTailleFichier
{
public:
    explicit LimiteTailleFichier(rlim_t octets)
    {
        getrlimit(RLIMIT_FSIZE, &avant);
        std::signal(SIGXFSZ, SIG_IGN);
        pose(octets);
    }
    ~LimiteTailleFichier() { setrlimit(RLIMIT_FSIZE, &avant); }
    void pose(rlim_t octets)
    {
        const rlimit limite{octets, avant.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limite);
    }
    void leve() { setrlimit(RLIMIT_FSIZE, &avant); }

private:
    rlimit avant{};
};

QByteArray contenu(const QString& chemin)
{
    QFile fichier(chemin);
    return fichier.open(QIODevice::ReadOnly) ? fichier.readAll() : QByteArray();
}

void journalise(JournalTrafic& journal, int nombre)
{
    for (int i = 0; i < nombre; ++i)
        journal.evenement(SortieEvenements::Type::Reception, 1, QStringLiteral("127.0.0.1:5000"),
                          QStringLiteral("requête n° %1 ").arg(i).repeated(3));
}

// A file that refuses writes (here, past a size bound; on a machine, a full disk) loses the
// events meanwhile, counted, holds only whole lines, and takes events again once it can: the
// lines it holds and the events lost always add up to the events journaled.
TEST(JournalTrafic, AFileThatRefusesWritesLosesWholeLinesCountedThenResumes)
{
    QTemporaryDir dossier;
    ASSERT_TRUE(dossier.isValid());
    const QString chemin = dossier.filePath(QStringLiteral("j.jsonl"));
    JournalTrafic journal;
    QString raison;
    ASSERT_TRUE(journal.ouvreFichier(chemin, JournalTrafic::TailleFichierParDefaut, raison));
    int changements = 0;
    QObject::connect(&journal, &JournalTrafic::etatFichierChange, [&] { ++changements; });

    journalise(journal, 20);
    ASSERT_TRUE(attendre([&] { return contenu(chemin).count('\n') == 20; }));
    const qsizetype ecrit = contenu(chemin).size();

    // The bound falls in the middle of the next line.
    LimiteTailleFichier limite(rlim_t(ecrit + 40));
    journalise(journal, 30);
    ASSERT_TRUE(attendre([&] { return journal.etatFichier().enErreur; }));
    EXPECT_EQ(changements, 1);
    journalise(journal, 30);
    ASSERT_TRUE(attendre([&] {
        const auto etat = journal.etatFichier();
        return contenu(chemin).count('\n') + etat.perdus == journal.total();
    }));
    QByteArray texte = contenu(chemin);
    EXPECT_EQ(texte.size(), ecrit) << "the line cut short is taken back";
    EXPECT_TRUE(texte.endsWith('\n'));
    EXPECT_FALSE(journal.etatFichier().raison.isEmpty());

    limite.leve();
    journalise(journal, 5);
    ASSERT_TRUE(attendre([&] { return !journal.etatFichier().enErreur; }));
    EXPECT_EQ(changements, 2);
    const auto etat = journal.etatFichier();
    EXPECT_EQ(etat.perdus, 60);
    EXPECT_EQ(etat.perdusEpisode, 60);
    // The five events, and the one that says where the gap is.
    ASSERT_TRUE(attendre([&] { return contenu(chemin).count('\n') == 20 + 5 + 1; }));
    texte = contenu(chemin);
    QString avertissement;
    const auto lu = litJournalTexte(texte, &avertissement);
    ASSERT_TRUE(std::holds_alternative<QList<EvenementLu>>(lu));
    EXPECT_TRUE(avertissement.isEmpty());
    const auto& evenements = std::get<QList<EvenementLu>>(lu);
    EXPECT_EQ(evenements.last().type, QStringLiteral("error"));
    EXPECT_TRUE(evenements.last().donnees.startsWith(
        QStringLiteral("60 événements du journal perdus : écriture impossible (")));
    EXPECT_EQ(journal.fermeFichier().perdus, 60);
}

// A file that never takes a line: every event is lost, counted, up to the end.
TEST(JournalTrafic, EveryEventLostToADeviceThatIsFull)
{
    JournalTrafic journal;
    QString raison;
    ASSERT_TRUE(journal.ouvreFichier(QStringLiteral("/dev/full"), 4096, raison));
    journalise(journal, 10);
    ASSERT_TRUE(attendre([&] { return journal.etatFichier().enErreur; }));
    journalise(journal, 10);
    EXPECT_EQ(journal.fermeFichier().perdus, 20);
}

} // namespace

namespace {

// A device of a machine names itself in each event, escaped as any text; an event without one
// is written as it always was.
TEST(JournalTrafic, ADeviceOfAMachineNamesItselfInItsEvents)
{
    JournalTrafic journal;
    SortieEvenementsAppareil laser(journal, QStringLiteral("laser-1"));
    laser.evenement(SortieEvenements::Type::Reception, 2, QStringLiteral("127.0.0.1:5"),
                    QStringLiteral("\x1bV1\r"));
    journal.evenement(SortieEvenements::Type::Horloge, QStringLiteral("x100"));
    const QByteArrayList lignes = journal.depuis(0).lignes;
    ASSERT_EQ(lignes.size(), 2);
    EXPECT_TRUE(lignes[0].contains(
        R"(,"device":"laser-1","event":"recv","channel":2,"peer":"127.0.0.1:5","data":"\u001bV1\r")"))
        << lignes[0].constData();
    EXPECT_FALSE(lignes[1].contains("device")) << lignes[1].constData();
    EXPECT_TRUE(lignes[1].contains(R"(,"event":"clock","data":"x100")")) << lignes[1].constData();
}

} // namespace
