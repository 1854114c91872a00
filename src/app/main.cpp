#include "ArretSurSignal.h"
#include "FenetrePrincipale.h"
#include "LigneCommande.h"

#include <QApplication>

#include <csignal>

namespace {

// Without a display, Velorin runs on Qt's offscreen platform and its log goes to stdout.
bool sansEcran()
{
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char* argv[])
{
    // A client that has gone must never take the process with it.
    std::signal(SIGPIPE, SIG_IGN);
    const bool headless = sansEcran();
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Velorin"));
    const QString ligneCommande = application.arguments().mid(1).join(QLatin1Char(' '));

    FenetrePrincipale fenetre;
    fenetre.setSansEcran(headless);
    if (headless || LigneCommande::lire(ligneCommande).journalStdout)
        fenetre.activeMiroirStdout();

    ArretSurSignal arret;
    QObject::connect(&arret, &ArretSurSignal::arretDemande, &fenetre, &QWidget::close);

    if (!fenetre.Form_Load(ligneCommande))
        return 1;
    return application.exec();
}
