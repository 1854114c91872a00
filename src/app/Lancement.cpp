#include "Lancement.h"

#include "AideLigneCommande.h"
#include "ArretSurSignal.h"
#include "FiltreMessagesQt.h"
#include "LigneCommande.h"
#include "Programme.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {

// --help and --version answer and end before anything starts.
bool repondSansDemarrer(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s\n", lignesAide().join(QLatin1Char('\n')).toUtf8().constData());
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", texteVersion().toUtf8().constData());
            return true;
        }
    }
    return false;
}

void prepareProcessus()
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
    // Without a display, Velorin runs on Qt's offscreen platform.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    filtreMessagesQt();
}

} // namespace

int lanceVelorin(int argc, char* argv[], const std::function<void(Programme&)>& avantDemarrage)
{
    if (repondSansDemarrer(argc, argv))
        return 0;
    prepareProcessus();
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Velorin"));
    const QString platforme = QGuiApplication::platformName();
    Programme programme(LigneCommande::lire(application.arguments().mid(1).join(QLatin1Char(' '))),
                        platforme == QLatin1String("offscreen")
                            || platforme == QLatin1String("minimal"));
    ArretSurSignal signaux;
    QObject::connect(&signaux, &ArretSurSignal::arretDemande, &programme.arret(),
                     &Arret::demandeArret);
    programme.arret().setSignalRecu([&signaux] { return signaux.recu(); });
    if (avantDemarrage)
        avantDemarrage(programme);
    return programme.execute();
}
