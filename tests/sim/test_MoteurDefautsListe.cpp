#include "sim/MoteurDefauts.h"
#include "support/HorlogeFigee.h"
#include "support/PanneauFactice.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonValue json(const QByteArray& texte)
{
    const QJsonDocument d = QJsonDocument::fromJson(texte);
    return d.isArray() ? QJsonValue(d.array()) : QJsonValue(d.object());
}

// n copies of one rule, as a list.
QJsonValue regles(qsizetype n, const char* regle)
{
    QJsonArray liste;
    const QJsonValue une = json(regle);
    for (qsizetype i = 0; i < n; ++i)
        liste.append(une);
    return liste;
}

struct Banc
{
    PanneauFactice panneau;
    double temps = 0;
    HorlogeFigee horloge;
    MoteurDefauts moteur{panneau, panneau, [this] { return temps; }, horloge};

    bool ajoute(const QJsonValue& corps)
    {
        return std::holds_alternative<QList<int>>(moteur.ajoute(corps));
    }
    QString etats(bool aussiFinies)
    {
        QStringList vus;
        const QJsonArray liste = moteur.liste(aussiFinies);
        for (const auto& v : liste) {
            const QJsonObject o = v.toObject();
            vus << QStringLiteral("%1:%2:%3")
                       .arg(o.value(QStringLiteral("id")).toInt())
                       .arg(o.value(QStringLiteral("status")).toString(QStringLiteral("-")))
                       .arg(o.value(QStringLiteral("fired")).toInt());
        }
        return vus.join(QLatin1Char(' '));
    }
};

const QString P = QStringLiteral("\x1bP1\r");

// A rule used up or over leaves the plain listing as before, and stays in the full one with its
// firings; so do deleted rules, as removed, with what they fired; a reset forgets them all.
TEST(MoteurDefautsListe, RulesThatEndedAreListedOnlyWhenAllAreAskedFor)
{
    Banc b;
    ASSERT_TRUE(b.ajoute(json(R"([{"action":{"type":"drop"},"count":1},
                                  {"action":{"type":"corrupt"},"duration_ms":100},
                                  {"action":{"type":"split"}},
                                  {"action":{"type":"homing_lost","axis":"X"}}])")));
    b.temps = 40;
    b.moteur.requete(1, P);
    b.temps = 100;
    EXPECT_EQ(b.etats(false), QStringLiteral("3:-:1"));
    EXPECT_EQ(b.etats(true), QStringLiteral("3:active:1 4:used_up:1 1:used_up:1 2:expired:1"));
    const QJsonObject ajoutee = b.moteur.liste(false).at(0).toObject();
    EXPECT_EQ(ajoutee.keys(), QStringList({"action", "armed", "fired", "id"})) << "as before";

    const QJsonArray tirs =
        b.moteur.liste(true).at(2).toObject().value(QStringLiteral("firings")).toArray();
    ASSERT_EQ(tirs.size(), 1);
    EXPECT_EQ(tirs.at(0)[QStringLiteral("device_ms")].toDouble(), 40);
    EXPECT_TRUE(tirs.at(0)[QStringLiteral("t")].toString().endsWith(QLatin1Char('Z')));

    EXPECT_TRUE(b.moteur.retire(3));
    EXPECT_FALSE(b.moteur.retire(3)) << "gone from the rules in force";
    ASSERT_TRUE(b.ajoute(json(R"({"action":{"type":"drop"}})")));
    b.moteur.vide();
    EXPECT_EQ(b.etats(false), QString());
    EXPECT_EQ(b.etats(true),
              QStringLiteral("4:used_up:1 1:used_up:1 2:expired:1 3:removed:1 5:removed:0"));
    b.moteur.vide(true);
    EXPECT_EQ(b.etats(true), QString());
}

// What is kept is bounded: each rule's last firings, the last rules that ended, the rules in
// force (a set past the bound is refused whole, before any of it is read).
TEST(MoteurDefautsListe, WhatIsKeptIsBounded)
{
    Banc b;
    ASSERT_TRUE(b.ajoute(json(R"({"match":{"command":"P"},"action":{"type":"drop"}})")));
    for (int i = 0; i < MoteurDefauts::HistoriqueMax + 5; ++i) {
        b.temps = i;
        b.moteur.requete(1, P);
    }
    const QJsonObject regle = b.moteur.liste(true).at(0).toObject();
    EXPECT_EQ(regle[QStringLiteral("fired")].toInt(), MoteurDefauts::HistoriqueMax + 5);
    const QJsonArray tirs = regle[QStringLiteral("firings")].toArray();
    ASSERT_EQ(tirs.size(), MoteurDefauts::HistoriqueMax);
    EXPECT_EQ(tirs.at(0)[QStringLiteral("device_ms")].toDouble(), 5) << "the oldest went";

    Banc finies;
    const qsizetype parTour = MoteurDefauts::ReglesMax / 2;
    const qsizetype tours = MoteurDefauts::FiniesMax / parTour + 1;
    for (qsizetype i = 0; i < tours; ++i) {
        ASSERT_TRUE(finies.ajoute(regles(parTour, R"({"count":1,"action":{"type":"drop"}})")));
        finies.moteur.requete(1, P);
    }
    const QJsonArray listees = finies.moteur.liste(true);
    ASSERT_EQ(listees.size(), MoteurDefauts::FiniesMax);
    EXPECT_EQ(listees.first()[QStringLiteral("id")].toInt(),
              tours * parTour - MoteurDefauts::FiniesMax + 1)
        << "the oldest went";
    EXPECT_EQ(listees.last()[QStringLiteral("id")].toInt(), tours * parTour);

    Banc plein;
    const char* drop = R"({"action":{"type":"drop"}})";
    ASSERT_TRUE(plein.ajoute(regles(MoteurDefauts::ReglesMax - 1, drop)));
    const auto refus = plein.moteur.ajoute(json(R"({"seed":1,"faults":[{"action":{"type":"drop"}},
                                                 {"action":{"type":"warp"}}]})"));
    ASSERT_TRUE(std::holds_alternative<RegleDefaut::Erreur>(refus));
    EXPECT_EQ(std::get<RegleDefaut::Erreur>(refus).champ, QStringLiteral("faults"));
    EXPECT_EQ(std::get<RegleDefaut::Erreur>(refus).raison,
              QStringLiteral("at most %1 rules in force, %2 already")
                  .arg(MoteurDefauts::ReglesMax)
                  .arg(MoteurDefauts::ReglesMax - 1));
    EXPECT_EQ(plein.moteur.liste().size(), MoteurDefauts::ReglesMax - 1);
    EXPECT_TRUE(plein.ajoute(json(drop)));
    EXPECT_FALSE(plein.ajoute(json(drop))) << "one more, alone";

    // Each pattern is compiled as it is read: its length is bounded too.
    Banc motifs;
    const auto avecMotif = [](qsizetype longueur) {
        return QJsonObject{{"match", QJsonObject{{"request", QString(longueur, QLatin1Char('a'))}}},
                           {"action", QJsonObject{{"type", "drop"}}}};
    };
    EXPECT_TRUE(motifs.ajoute(avecMotif(RegleDefaut::MotifMax)));
    const auto long_ = motifs.moteur.ajoute(avecMotif(RegleDefaut::MotifMax + 1));
    ASSERT_TRUE(std::holds_alternative<RegleDefaut::Erreur>(long_));
    EXPECT_EQ(std::get<RegleDefaut::Erreur>(long_).champ, QStringLiteral("match.request"));
}

// Delays on one request add up exactly, and stop at the most a wait may be.
TEST(MoteurDefautsListe, StackedDelaysAddUpWithoutWrapping)
{
    const struct
    {
        qsizetype regles;
        double ms;
        qint64 attendu;
    } cas[] = {
        {2, 1500, 3000},
        {50, 85899346, MoteurDefauts::DelaiMaxMs}, // 2^32 + 4 in all
        {25, 86400000, 25LL * 86400000},           // past a timer's int
        {31, 86400000, MoteurDefauts::DelaiMaxMs},
    };
    for (const auto& c : cas) {
        Banc b;
        const QByteArray regle =
            R"({"action":{"type":"delay","ms":)" + QByteArray::number(c.ms) + "}}";
        ASSERT_TRUE(b.ajoute(regles(c.regles, regle.constData())));
        EXPECT_EQ(b.moteur.requete(1, P).delaiMs, c.attendu) << c.regles << " x " << c.ms;
    }
}

// A connection's rules fire once done; one with a count keeps room for the connections it
// waits on, and gets it back from a client that left first.
TEST(MoteurDefautsListe, AConnectionRuleFiresWhenDoneOnly)
{
    Banc b;
    ASSERT_TRUE(b.ajoute(json(R"({"action":{"type":"accept_delay","ms":500},"count":2})")));
    const DecisionConnexion premiere = b.moteur.connexion(1);
    const DecisionConnexion seconde = b.moteur.connexion(2);
    EXPECT_TRUE(b.moteur.connexion(3).vide()) << "its count is taken by the two waiting";
    EXPECT_EQ(b.etats(true), QStringLiteral("1:active:0"));
    EXPECT_TRUE(b.panneau.lignes.isEmpty()) << "nothing done yet";

    ASSERT_EQ(premiere.regles.size(), 1);
    b.moteur.pasFait(premiere.regles.at(0)); // its client went
    EXPECT_EQ(b.moteur.connexion(4).retardMs, 500);
    b.moteur.fait(seconde.regles.at(0));
    EXPECT_EQ(b.etats(true), QStringLiteral("1:active:1"));
    ASSERT_EQ(b.panneau.lignes.size(), 1);
    EXPECT_TRUE(b.panneau.lignes.at(0).endsWith(
        QStringLiteral(" défaut n° 1 accept_delay : connexion servie après 500 ms sur canal 2")));
}

} // namespace
