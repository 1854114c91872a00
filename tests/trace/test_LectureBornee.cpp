#include "trace/LectureBornee.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Cause = LectureBornee::Echec::Cause;

QString ecritFichier(const QTemporaryDir& dossier, const char* nom, const QByteArray& contenu)
{
    QString chemin = dossier.filePath(QString::fromLatin1(nom));
    QFile fichier(chemin);
    if (fichier.open(QIODevice::WriteOnly))
        fichier.write(contenu);
    return chemin;
}

// "lu:<bytes>" or the cause of the refusal.
std::string bilanLecture(const std::variant<QByteArray, LectureBornee::Echec>& lu)
{
    if (const auto* octets = std::get_if<QByteArray>(&lu))
        return "lu:" + octets->toStdString();
    switch (std::get<LectureBornee::Echec>(lu).cause) {
    case Cause::Illisible: return "illisible";
    case Cause::TropGrand: return "trop grand";
    case Cause::Interrompue: return "interrompue";
    }
    return "?";
}

TEST(LectureBornee, FilesWithinAndPastTheBound)
{
    QTemporaryDir dossier;
    ASSERT_TRUE(dossier.isValid());
    const struct
    {
        const char* nom;
        QString chemin;
        qint64 borne;
        std::string attendu;
    } cas[] = {
        {"a file at its bound", ecritFichier(dossier, "a", "12345678"), 8, "lu:12345678"},
        {"one byte past it", ecritFichier(dossier, "b", "123456789"), 8, "trop grand"},
        {"an empty file", ecritFichier(dossier, "c", ""), 8, "lu:"},
        {"a device that never ends", QStringLiteral("/dev/zero"), 100000, "trop grand"},
        {"a device that is empty", QStringLiteral("/dev/null"), 8, "lu:"},
        {"a file that is not there", dossier.filePath(QStringLiteral("absent")), 8, "illisible"},
        {"a directory", dossier.path(), 8, "illisible"},
    };
    for (const auto& c : cas)
        EXPECT_EQ(bilanLecture(LectureBornee{c.borne, {}}.lit(c.chemin)), c.attendu) << c.nom;
}

TEST(LectureBornee, TheRefusalNamesTheBound)
{
    const auto lu = LectureBornee{4096, {}}.lit(QStringLiteral("/dev/zero"));
    ASSERT_TRUE(std::holds_alternative<LectureBornee::Echec>(lu));
    EXPECT_TRUE(std::get<LectureBornee::Echec>(lu).message.contains(QStringLiteral("4096")));
}

// A FIFO is read to its end, whenever its writer comes; one that never comes is waited for
// until asked to stop.
TEST(LectureBornee, AFifoIsReadToItsEndOrUntilAStop)
{
    QTemporaryDir dossier;
    const QString chemin = dossier.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(chemin).constData(), 0600), 0);

    std::thread ecrivain([&] {
        const int fd = ::open(QFile::encodeName(chemin).constData(), O_WRONLY);
        for (int i = 0; i < 3 && fd >= 0; ++i) {
            const QByteArray bloc(70000, char('a' + i));
            [[maybe_unused]] const ssize_t n = ::write(fd, bloc.constData(), size_t(bloc.size()));
        }
        if (fd >= 0)
            ::close(fd);
    });
    const auto lu = LectureBornee{1 << 20, {}}.lit(chemin);
    ecrivain.join();
    ASSERT_TRUE(std::holds_alternative<QByteArray>(lu));
    EXPECT_EQ(std::get<QByteArray>(lu).size(), 210000);
    EXPECT_EQ(std::get<QByteArray>(lu).count('c'), 70000);

    std::atomic<int> questions{0};
    const auto arrete = LectureBornee{1 << 20, [&] { return ++questions >= 3; }}.lit(chemin);
    EXPECT_EQ(bilanLecture(arrete), "interrompue");
    EXPECT_EQ(questions, 3);
}

// A pipe's writer may have written everything and gone before the pipe is opened by its name
// (bash's <(cat file)): what it left is read, and the end is seen.
TEST(LectureBornee, APipeWhoseWriterHasGone)
{
    int tube[2];
    ASSERT_EQ(::pipe(tube), 0);
    ASSERT_EQ(::write(tube[1], "contenu", 7), 7);
    ::close(tube[1]);
    const auto lu = LectureBornee{1 << 20, [] { return true; }}.lit(
        QStringLiteral("/proc/self/fd/%1").arg(tube[0]));
    ::close(tube[0]);
    EXPECT_EQ(bilanLecture(lu), "lu:contenu");
}

} // namespace
