// Throughput of the paths every request takes: analysis, the log, the message area, and a
// whole round trip over loopback TCP. Run with `make bench`.
#include "app/FenetrePrincipale.h"
#include "app/LigneCommande.h"
#include "app/Programme.h"
#include "sim/AnalyseurRequetes.h"
#include "support/CanalFactice.h"
#include "support/PanneauFactice.h"
#include "trace/CompteursAppareil.h"
#include "trace/Horloge.h"
#include "trace/Journal.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>

namespace {

void rapporte(const char* nom, int n, const QElapsedTimer& chrono, const char* unite)
{
    const double secondes = double(chrono.nsecsElapsed()) / 1e9;
    std::printf("%-44s %10.0f %s/s  (%d in %.3f s)\n", nom, n / secondes, unite, n, secondes);
}

void analyse(const char* mode, const QByteArray& requete, const char* nom)
{
    PanneauFactice panneau;
    panneau.mode = QLatin1String(mode);
    panneau.homingX = panneau.homingZ = panneau.tpNon0 = true;
    CanalFactice canal;
    AnalyseurRequetes analyseur(panneau, canal, HorlogeSysteme::instance());
    const QString texte = QString::fromLatin1(requete);
    constexpr int n = 200000;
    QElapsedTimer chrono;
    chrono.start();
    for (int i = 0; i < n; ++i)
        analyseur.AnalyseChaineRecu(texte);
    rapporte(nom, n, chrono, "requests");
}

void zoneMessages()
{
    Journal journal;
    EtatAppareil etat(journal);
    FenetrePrincipale fenetre(journal, etat);
    fenetre.show();
    const QString ligne = QStringLiteral("08:54:28.3 demande position --> 12000 / 3000 a");
    constexpr int n = 500000;
    QElapsedTimer chrono;
    chrono.start();
    for (int i = 0; i < n; ++i) {
        journal.AfficheMessage(ligne);
        // The area catches up every 50 ms: at 250,000 lines a second, every 12,500 lines.
        if (i % 12500 == 0) {
            fenetre.synchroniseZone();
            QCoreApplication::processEvents();
        }
    }
    fenetre.synchroniseZone();
    QCoreApplication::processEvents();
    rapporte("window log append (message area follows)", n, chrono, "lines");

    // One refresh after a cut-back: the whole area is replaced, the worst a refresh does.
    constexpr int r = 200;
    qint64 pire = 0;
    chrono.restart();
    for (int i = 0; i < r; ++i) {
        // Fill the log until it is cut back, then again to nearly full.
        for (qsizetype avant = -1; journal.contenu().size() > avant;) {
            avant = journal.contenu().size();
            journal.AfficheMessage(ligne);
        }
        while (journal.contenu().size() < 19000)
            journal.AfficheMessage(ligne);
        QElapsedTimer une;
        une.start();
        fenetre.synchroniseZone();
        QCoreApplication::processEvents();
        pire = std::max(pire, une.nsecsElapsed());
    }
    rapporte("message area refresh after a cut-back", r, chrono, "refreshes");
    std::printf("  slowest refresh: %.2f ms\n", double(pire) / 1e6);

    // What the area would cost if every line re-laid out the whole text.
    auto* zone = fenetre.findChild<QPlainTextEdit*>(QStringLiteral("TextMsg"));
    constexpr int m = 2000;
    chrono.restart();
    for (int i = 0; i < m; ++i)
        zone->setPlainText(journal.contenu());
    rapporte("  for scale: whole-text rewrite per line", m, chrono, "lines");
}

void allerRetour()
{
    Programme programme(LigneCommande::lire(QStringLiteral("portip=0 mode=modeecho")), false);
    if (!programme.demarre())
        return;
    const quint16 port = programme.appareil().portEcoute();
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    client.waitForConnected(5000);
    const QByteArray requete("\x1bP1\r");
    constexpr int n = 5000;
    QElapsedTimer chrono;
    chrono.start();
    for (int i = 0; i < n; ++i) {
        client.write(requete);
        qint64 recu = 0;
        while (recu < requete.size()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            recu += client.readAll().size();
        }
    }
    rapporte("round trip over loopback TCP (echo)", n, chrono, "requests");
}

// What GET /metrics costs each request on its path: the letter counted, two clock reads (its
// arrival, its reply), the reply's delay in the histogram and three sums.
void comptage()
{
    CompteursAppareil compteurs;
    const Horloge& horloge = HorlogeSysteme::instance();
    const QString requete = QStringLiteral("\x1bP1\r");
    constexpr int n = 2000000;
    QElapsedTimer chrono;
    chrono.start();
    for (int i = 0; i < n; ++i) {
        compteurs.octetsRecus += quint64(requete.size());
        const double arrivee = horloge.millisecondes();
        ++compteurs.requetes[std::size_t(CompteursAppareil::indiceCommande(requete[1].unicode()))];
        ++compteurs.reponses;
        compteurs.octetsEnvoyes += quint64(requete.size());
        compteurs.delaiReponse.observe(horloge.millisecondes() - arrivee);
    }
    rapporte("counting for GET /metrics, per request", n, chrono, "requests");
    std::printf("  (%llu requests counted)\n", static_cast<unsigned long long>(compteurs.reponses));
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    analyse("automateOMRON", "\x1bP1\r", "PLC position request, analysed and logged");
    analyse("automateOMRON", "\033D100001200000003000\r", "PLC move request");
    analyse("moduleLASERS", "\x1bM10121\r", "laser measurement request");
    analyse("modeECHO", QByteArray(200, 'e'), "echo of 200 bytes");
    zoneMessages();
    allerRetour();
    comptage();
    return 0;
}
