// Start-up from the command line and shutdown of the main window.
#include "AideLigneCommande.h"
#include "FenetrePrincipale.h"
#include "LigneCommande.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/Pause.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHostAddress>
#include <QScopeGuard>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>

#include <cstdio>

bool FenetrePrincipale::Form_Load(const LigneCommande& parametres)
{
    chargementEnCours = true;
    const auto fin = qScopeGuard([this] { chargementEnCours = false; });
    show();
    AfficheMessage(QStringLiteral("clear"));
    setWindowTitle(QStringLiteral("Velorin v" VELORIN_VERSION));
    Cmb_SimulateBox->setCurrentIndex(Cmb_SimulateBox->findText(QStringLiteral("automateOMRON")));
    AfficheMessage(QStringLiteral("lecture des parametres ..."));

    for (const QString& inconnu : parametres.inconnus)
        AfficheMessage(QStringLiteral("parametre inconnu ignoré : ") + inconnu);
    if (parametres.aide) {
        const QString aide = lignesAide().join(QLatin1Char('\n'));
        if (sansEcran)
            std::fprintf(stderr, "%s\n", aide.toUtf8().constData());
        else
            QMessageBox::information(this, QStringLiteral("Velorin"), aide);
        // A stop asked while the box was open closed it: start-up goes no further.
        if (arretDemande)
            return true;
    }
    // A port the system picks is only known once it listens: said then.
    const bool portLibre = parametres.portIP && portValide(*parametres.portIP) == 0;
    if (parametres.portIP) {
        Txt_PortIP->setText(*parametres.portIP);
        if (!portLibre)
            AfficheMessage(QStringLiteral("port TCPIP = ") + Txt_PortIP->text());
    }
    if (parametres.mode && !selectionneMode(*parametres.mode)) {
        AfficheMessage(QStringLiteral("mode inconnu \"") + *parametres.mode
                       + QStringLiteral("\", le mode ") + Cmb_SimulateBox->currentText()
                       + QStringLiteral(" est conservé"));
    }

    if (parametres.trace)
        setChk_TraceIP(true);

    AfficheMessage(QStringLiteral("initialisation ..."));
    serveurCanaux.initialise();

    const auto port = portValide(Txt_PortIP->text());
    if (!port) {
        signaleEchecDemarrage(QStringLiteral("port TCPIP invalide \"") + Txt_PortIP->text()
                              + QStringLiteral("\" : un nombre de 0 à 65535 est attendu"));
        return false;
    }
    if (parametres.adresse) {
        QHostAddress adresse;
        if (!adresse.setAddress(*parametres.adresse)) {
            signaleEchecDemarrage(QStringLiteral("adresse d'écoute invalide \"") + *parametres.adresse
                                  + QStringLiteral("\" : une adresse IPv4 ou IPv6 est attendue"));
            return false;
        }
        WSserveur.setAdresseEcoute(adresse);
    }
    WSserveur.setLocalPort(0, *port);
    if (!WSserveur.Listen(0)) {
        signaleEchecDemarrage(QStringLiteral("impossible d'ouvrir le port ")
                              + QString::number(*port) + QStringLiteral(" : ")
                              + WSserveur.erreurListen());
        return false;
    }
    if (portLibre) {
        Txt_PortIP->setText(QString::number(WSserveur.LocalPort(0)));
        AfficheMessage(QStringLiteral("port TCPIP = ") + Txt_PortIP->text());
    }
    AfficheMessage(Horodatage(false, HorlogeSysteme::instance()) + QStringLiteral(" ouvre ")
                   + WSserveur.LocalIP(0) + QStringLiteral("  port ")
                   + QString::number(WSserveur.LocalPort(0)));
    Timer1.setInterval(1000);
    AfficheMessage(QStringLiteral("en attente de communication ..."));
    return true;
}

// A signal: the usual shutdown, whatever the program is doing. A message box open at that
// moment is closed first, and start-up, if it is still under way, goes no further.
void FenetrePrincipale::demandeArret()
{
    arretDemande = true;
    while (QWidget* boite = QApplication::activeModalWidget()) {
        if (auto* dialogue = qobject_cast<QDialog*>(boite))
            dialogue->reject();
        else
            boite->close();
        if (QApplication::activeModalWidget() == boite)
            break;
    }
    if (!chargementEnCours)
        close();
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
