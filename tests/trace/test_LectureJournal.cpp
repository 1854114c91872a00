#include "trace/LectureJournal.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

std::variant<QList<EvenementLu>, ErreurJournal> lit(const QByteArray& texte)
{
    QByteArray copie = texte;
    QBuffer tampon(&copie);
    tampon.open(QIODevice::ReadOnly);
    return litJournal(tampon);
}

QList<EvenementLu> litBien(const QByteArray& texte)
{
    auto lu = lit(texte);
    if (auto* erreur = std::get_if<ErreurJournal>(&lu)) {
        ADD_FAILURE() << erreur->message.toStdString();
        return {};
    }
    return std::get<QList<EvenementLu>>(lu);
}

const QByteArray bon = R"({"t":"2026-12-09T03:20:00.123456Z","mono_us":10,"event":"listen"})"
                       "\n";

TEST(LectureJournal, BadLinesNameTheirNumberAndTheFault)
{
    const QByteArray debut = R"({"t":"x","mono_us":1,)";
    const struct
    {
        QByteArray ligne;
        const char* message;
    } cas[] = {
        {"{\"t\":", "JSON invalide"},
        {"[1,2]", "un objet JSON est attendu"},
        {debut + R"("channel":1})", "\"event\" manque"},
        {debut + R"("event":3})", "\"event\" doit être un texte"},
        {R"({"mono_us":1,"event":"log"})", "\"t\" manque"},
        {R"({"t":"x","event":"log"})", "\"mono_us\" manque"},
        {R"({"t":"x","mono_us":1.5,"event":"log"})", "\"mono_us\" doit être un entier"},
        {R"({"t":"x","mono_us":"1","event":"log"})", "\"mono_us\" doit être un entier"},
        {debut + R"("event":"connect","channel":-1})",
         "\"channel\" doit être un entier positif ou nul"},
        {debut + R"("event":"connect","channel":"1"})",
         "\"channel\" doit être un entier positif ou nul"},
        {debut + R"("event":"connect","channel":1,"peer":5})", "\"peer\" doit être un texte"},
        {debut + R"("event":"recv","data":"A"})", "\"recv\" sans \"channel\""},
        {debut + R"("event":"send","channel":1})", "\"send\" sans \"data\""},
        {debut + R"("event":"recv","channel":1,"data":7})", "\"data\" doit être un texte"},
        {debut + R"("event":"recv","channel":1,"data":"P1\u0100"})",
         "\"data\" contient un caractère au-delà de 255"},
        {debut + R"("event":"recv","channel":1,"data":"A","device":3})",
         "\"device\" doit être un nom (lettres, chiffres, - et _)"},
        {debut + R"("event":"recv","channel":1,"data":"A","device":"a b"})",
         "\"device\" doit être un nom (lettres, chiffres, - et _)"},
        {debut + R"("event":"recv","channel":1,"data":"A","device":""})",
         "\"device\" doit être un nom (lettres, chiffres, - et _)"},
        {debut + R"("event":"send","channel":1,"data":"abcd","len":5})",
         "\"len\" (5) ne correspond pas à \"data\" (4)"},
        {debut + R"("event":"send","channel":1,"data":"abcd","len":4.5})",
         "\"len\" doit être un entier"},
        {debut + R"("event":"send","channel":1,"data":"a","origin":1})",
         "\"origin\" doit être un texte"},
    };
    for (const auto& c : cas) {
        // Two good lines and a blank one before: the count is of lines in the file.
        const auto lu = lit(bon + "\n" + bon + c.ligne + "\n" + bon);
        ASSERT_TRUE(std::holds_alternative<ErreurJournal>(lu)) << c.ligne.toStdString();
        const auto& erreur = std::get<ErreurJournal>(lu);
        EXPECT_EQ(erreur.ligne, 4) << c.ligne.toStdString();
        EXPECT_EQ(erreur.message, QStringLiteral("ligne 4 : ") + QString::fromUtf8(c.message))
            << c.ligne.toStdString();
    }
}

TEST(LectureJournal, FieldsUnknownKindsAndBlankLines)
{
    const auto evenements = litBien(
        "\n  \n"
        R"({"t":"x","mono_us":1234567890123,"event":"connect","channel":2,"peer":"127.0.0.1:4000","extra":[1]})"
        "\r\n"
        R"({"t":"x","mono_us":5,"event":"hiccup","channel":0,"data":"€"})"
        "\n"
        R"({"t":"x","mono_us":6,"event":"send","channel":2,"data":"","len":0})");
    ASSERT_EQ(evenements.size(), 3);
    EXPECT_EQ(evenements[0].ligne, 3);
    EXPECT_EQ(evenements[0].type, QStringLiteral("connect"));
    EXPECT_EQ(evenements[0].monoUs, 1234567890123);
    EXPECT_EQ(evenements[0].canal, 2);
    EXPECT_EQ(evenements[0].pair, QStringLiteral("127.0.0.1:4000"));
    // Outside recv and send, data is text like any other.
    EXPECT_EQ(evenements[1].type, QStringLiteral("hiccup"));
    EXPECT_EQ(evenements[1].donnees, QStringLiteral("€"));
    EXPECT_EQ(evenements[2].ligne, 5);
    EXPECT_EQ(evenements[2].canal, 2);
}

// A writer stopped short (a full disk, a killed process) leaves a last line without its end:
// left out, and said. Anywhere else a wrong line refuses the journal.
TEST(LectureJournal, ACutLastLineIsLeftOutAndSaid)
{
    const struct
    {
        const char* nom;
        QByteArray texte;
        qsizetype evenements; // -1: refused
        const char* avertissement;
    } cas[] = {
        {"cut in its middle", bon + bon + R"({"t":"x","mono_)", 2,
         "ligne 3 coupée avant sa fin, ignorée"},
        {"cut after its brace's first half", bon + R"({"t":"x","mono_us":1,"event":"log")", 1,
         "ligne 2 coupée avant sa fin, ignorée"},
        {"whole without its end of line", bon + bon.trimmed(), 2, ""},
        {"a wrong line ended by its end of line", bon + R"({"t":"x","mono_)" + "\n", -1, ""},
        {"a wrong line before a good one", R"({"t":"x","mono_)" + ("\n" + bon), -1, ""},
    };
    for (const auto& c : cas) {
        QByteArray copie = c.texte;
        QBuffer tampon(&copie);
        tampon.open(QIODevice::ReadOnly);
        QString avertissement;
        const auto lu = litJournal(tampon, &avertissement);
        const auto* evenements = std::get_if<QList<EvenementLu>>(&lu);
        EXPECT_EQ(evenements ? evenements->size() : -1, c.evenements) << c.nom;
        EXPECT_EQ(avertissement, QString::fromUtf8(c.avertissement)) << c.nom;
    }
}

// Bytes Velorin sent on its own behalf are kept apart from the device's reply they follow.
TEST(LectureJournal, VelorinsOwnNoticeIsNoPartOfAReply)
{
    const auto liste = conversations(litBien(
        R"({"t":"x","mono_us":1,"event":"recv","channel":1,"data":"P"})"
        "\n"
        R"({"t":"x","mono_us":2,"event":"send","channel":1,"data":"p"})"
        "\n"
        R"({"t":"x","mono_us":3,"event":"send","origin":"velorin","channel":1,"data":"ARRET"})"
        "\n"
        R"({"t":"x","mono_us":4,"event":"send","origin":"appareil","channel":1,"data":"q"})"
        "\n"));
    ASSERT_EQ(liste.size(), 1);
    ASSERT_EQ(liste[0].echanges.size(), 1);
    EXPECT_EQ(liste[0].echanges[0].reponse, QStringLiteral("pq"));
    EXPECT_EQ(liste[0].avis, QStringList{QStringLiteral("ARRET")});
}

TEST(LectureJournal, EveryByteValueSurvivesTheFile)
{
    QString octets;
    for (int code = 0; code < 256; ++code)
        octets += QChar(char16_t(code));
    const QJsonObject objet{{QStringLiteral("t"), QStringLiteral("x")},
                            {QStringLiteral("mono_us"), 1},
                            {QStringLiteral("event"), QStringLiteral("recv")},
                            {QStringLiteral("channel"), 1},
                            {QStringLiteral("data"), octets},
                            {QStringLiteral("len"), 256}};
    QTemporaryDir dossier;
    ASSERT_TRUE(dossier.isValid());
    const QString chemin = dossier.filePath(QStringLiteral("journal.jsonl"));
    QFile fichier(chemin);
    ASSERT_TRUE(fichier.open(QIODevice::WriteOnly));
    fichier.write(QJsonDocument(objet).toJson(QJsonDocument::Compact) + "\n");
    fichier.close();

    const auto lu = litJournal(chemin);
    ASSERT_TRUE(std::holds_alternative<QList<EvenementLu>>(lu));
    const auto& evenements = std::get<QList<EvenementLu>>(lu);
    ASSERT_EQ(evenements.size(), 1);
    EXPECT_EQ(evenements[0].donnees, octets);
}

TEST(LectureJournal, AFileThatCannotBeReadIsLineZero)
{
    QTemporaryDir dossier;
    for (const QString& chemin :
         {dossier.filePath(QStringLiteral("absent.jsonl")), dossier.path()}) {
        const auto lu = litJournal(chemin);
        ASSERT_TRUE(std::holds_alternative<ErreurJournal>(lu)) << chemin.toStdString();
        EXPECT_EQ(std::get<ErreurJournal>(lu).ligne, 0);
        EXPECT_TRUE(std::get<ErreurJournal>(lu).message.contains(chemin));
    }
}

// Events written as "type canal data appareil", one a line numbered from 1.
QList<EvenementLu> evenements(std::initializer_list<const char*> lignes)
{
    QList<EvenementLu> resultat;
    for (const char* ligne : lignes) {
        const QStringList champs = QString::fromLatin1(ligne).split(QLatin1Char(' '));
        resultat.append(EvenementLu{resultat.size() + 1, champs.value(0),
                                    100 * (resultat.size() + 1), champs.value(1).toInt(),
                                    QStringLiteral("127.0.0.1:5000"), champs.value(2), false,
                                    champs.value(3)});
    }
    return resultat;
}

// Conversations written as "canal: requete>reponse@ligne requete>reponse@ligne".
QStringList decrit(const QList<Conversation>& liste)
{
    QStringList resultat;
    for (const Conversation& c : liste) {
        QString texte = (c.appareil.isEmpty() ? QString() : c.appareil + QLatin1Char('/'))
                        + QString::number(c.canal) + QLatin1Char(':');
        for (const Echange& e : c.echanges) {
            texte += QStringLiteral(" %1>%2@%3").arg(e.requete, e.reponse).arg(e.ligne);
            EXPECT_EQ(e.monoUs, 100 * e.ligne);
        }
        resultat.append(texte);
    }
    return resultat;
}

TEST(LectureJournal, ConversationsFollowConnectionsAndRequests)
{
    const struct
    {
        const char* nom;
        QList<EvenementLu> journal;
        QStringList attendu;
    } cas[] = {
        {"a reply split over several sends",
         evenements(
             {"connect 1", "recv 1 A", "send 1 a", "fault 1", "send 1 b", "recv 1 B", "close 1"}),
         {"1: A>ab@2 B>@6"}},
        {"a channel used again after a close, and after a connect alone",
         evenements({"connect 1", "recv 1 A", "send 1 a", "close 1", "connect 1", "recv 1 B",
                     "connect 1", "recv 1 C", "send 1 c"}),
         {"1: A>a@2", "1: B>@6", "1: C>c@8"}},
        {"a greeting before the first request",
         evenements({"connect 3", "send 3 hel", "send 3 lo", "recv 3 A", "send 3 a"}),
         {"3: >hello@2 A>a@4"}},
        {"interleaved channels, in order of first appearance",
         evenements({"connect 2", "connect 1", "recv 1 A", "recv 2 B", "send 2 b", "send 1 a",
                     "recv 2 C", "close 2", "send 1 x"}),
         {"2: B>b@4 C>@7", "1: A>ax@3"}},
        {"traffic without connect, events without channel, connections without traffic",
         evenements({"listen -1", "recv 0 A", "send 0 a", "log -1 B", "connect 4", "close 4"}),
         {"0: A>a@2", "4:"}},
        {"two devices, each with its channel 1, closed apart",
         evenements({"connect 1 - plc", "connect 1 - laser", "recv 1 A plc", "recv 1 B laser",
                     "send 1 b laser", "send 1 a plc", "close 1 - laser", "recv 1 C plc",
                     "send 1 c plc"}),
         {"plc/1: A>a@3 C>c@8", "laser/1: B>b@4"}},
    };
    for (const auto& c : cas)
        EXPECT_EQ(decrit(conversations(c.journal)), c.attendu) << c.nom;
}

TEST(LectureJournal, ConversationKeepsThePeerOfItsConnect)
{
    auto journal = evenements({"connect 1", "recv 1 A", "close 1", "recv 1 B"});
    journal[0].pair = QStringLiteral("[::1]:6000");
    journal[3].pair.clear();
    const auto liste = conversations(journal);
    ASSERT_EQ(liste.size(), 2);
    EXPECT_EQ(liste[0].pair, QStringLiteral("[::1]:6000"));
    EXPECT_TRUE(liste[1].pair.isEmpty());
}

} // namespace
