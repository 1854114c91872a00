// Start-up from the command line and shutdown of the main window.
#include "FenetrePrincipale.h"
#include "LigneCommande.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/Pause.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>

#include <cstdio>

namespace {

const QString Version = QStringLiteral(VELORIN_VERSION);

} // namespace

bool FenetrePrincipale::Form_Load(const QString& ligneCommande)
{
    show();
    AfficheMessage(QStringLiteral("clear"));
    setWindowTitle(QStringLiteral("Velorin v") + Version);
    Cmb_SimulateBox->setCurrentIndex(Cmb_SimulateBox->findText(QStringLiteral("automateOMRON")));
    AfficheMessage(QStringLiteral("lecture des parametres ..."));

    const LigneCommande parametres = LigneCommande::lire(ligneCommande);
    if (parametres.aide) {
        const QString aide = QStringLiteral("PORTIP=43350");
        if (sansEcran)
            std::fprintf(stderr, "%s\n", qPrintable(aide));
        else
            QMessageBox::information(this, QStringLiteral("Velorin"), aide);
    }
    if (parametres.portIP) {
        Txt_PortIP->setText(*parametres.portIP);
        AfficheMessage(QStringLiteral("port TCPIP = ") + Txt_PortIP->text());
    }
    if (parametres.mode && !selectionneMode(*parametres.mode)) {
        AfficheMessage(QStringLiteral("mode inconnu \"") + *parametres.mode
                       + QStringLiteral("\", le mode ") + Cmb_SimulateBox->currentText()
                       + QStringLiteral(" est conservé"));
    }

    AfficheMessage(QStringLiteral("initialisation ..."));
    serveurCanaux.initialise();

    const auto port = portValide(Txt_PortIP->text());
    if (!port) {
        signaleEchecDemarrage(QStringLiteral("port TCPIP invalide \"") + Txt_PortIP->text()
                              + QStringLiteral("\" : un nombre de 1 à 65535 est attendu"));
        return false;
    }
    WSserveur.setLocalPort(0, *port);
    if (!WSserveur.Listen(0)) {
        signaleEchecDemarrage(QStringLiteral("impossible d'ouvrir le port ")
                              + QString::number(*port) + QStringLiteral(" : ")
                              + WSserveur.erreurListen());
        return false;
    }
    AfficheMessage(Horodatage(false, HorlogeSysteme::instance()) + QStringLiteral(" ouvre ")
                   + WSserveur.LocalIP(0) + QStringLiteral("  port ")
                   + QString::number(WSserveur.LocalPort(0)));
    Timer1.setInterval(1000);
    AfficheMessage(QStringLiteral("en attente de communication ..."));
    return true;
}

// The program does not go on pretending to listen: the operator and any script that started
// it are told why, and the caller ends the program with status 1.
void FenetrePrincipale::signaleEchecDemarrage(const QString& raison)
{
    const QString ligne = Horodatage(false, HorlogeSysteme::instance()) + QStringLiteral(" ")
                          + raison;
    AfficheMessage(ligne);
    std::fprintf(stderr, "%s\n", ligne.toUtf8().constData());
    std::fflush(stderr);
    fermetureFaite = true;
}

void FenetrePrincipale::closeEvent(QCloseEvent* evenement)
{
    Form_Unload();
    evenement->accept();
}

void FenetrePrincipale::Form_Unload()
{
    // A second close (the close box during the final pause) finds the work already done.
    if (fermetureFaite)
        return;
    fermetureFaite = true;
    serveurCanaux.fermeture();
    timePauseMs(500);
}
