#include "ApiControle.h"
#include "ArretSurSignal.h"
#include "FenetrePrincipale.h"
#include "LigneCommande.h"

#include <QApplication>

#include <csignal>
#include <sys/resource.h>
#include <memory>

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
    // Every descriptor the system allows: each client holds one.
    rlimit limite{};
    if (getrlimit(RLIMIT_NOFILE, &limite) == 0 && limite.rlim_cur < limite.rlim_max) {
        limite.rlim_cur = limite.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limite);
    }
    // Qt's own event loop rather than GLib's: GLib wakes itself up through a pipe each time a
    // socket starts or stops waiting to write, which is twice for every reply sent.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    const bool headless = sansEcran();
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Velorin"));
    const QString ligneCommande = application.arguments().mid(1).join(QLatin1Char(' '));

    const LigneCommande parametres = LigneCommande::lire(ligneCommande);
    FenetrePrincipale fenetre;
    fenetre.setSansEcran(headless);
    if (headless || parametres.journalStdout)
        fenetre.activeMiroirStdout();

    ArretSurSignal arret;
    QObject::connect(&arret, &ArretSurSignal::arretDemande, &fenetre, &QWidget::close);

    std::unique_ptr<ApiControle> controle;
    if (parametres.portControle)
        controle = std::make_unique<ApiControle>(fenetre);

    if (!fenetre.Form_Load(ligneCommande))
        return 1;
    if (controle && !controle->demarre(*parametres.portControle))
        return 1;
    return application.exec();
}
