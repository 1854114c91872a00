#include "Lancement.h"

#include "AideLigneCommande.h"
#include "ArretSurSignal.h"
#include "FiltreMessagesQt.h"
#include "LigneCommande.h"
#include "Programme.h"
#include "VerificationSante.h"
#include "machine/ProgrammeMachine.h"

#include <QApplication>
#include <QCoreApplication>
#include <QProcessEnvironment>

#include <memory>
#include <optional>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {

// --help, --version and --check-health answer and end before anything starts: their exit
// status, or nothing for a run.
std::optional<int> repondSansDemarrer(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s\n", lignesAide().join(QLatin1Char('\n')).toUtf8().constData());
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", texteVersion().toUtf8().constData());
            return 0;
        }
        if (std::strcmp(argv[i], "--check-health") == 0)
            return verifieSante(i + 1 < argc ? argv[i + 1] : nullptr);
    }
    return std::nullopt;
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

// No window can be shown on the offscreen or minimal platform, whether asked for on the command
// line (-platform) or in QT_QPA_PLATFORM: then no widget is made, nor any GUI at all.
bool sansEcran(int argc, char* argv[])
{
    QByteArray platforme = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0)
            platforme = argv[i + 1];
    }
    // "offscreen:option=..." and a list of platforms to try, first one first.
    for (const char separateur : {';', ':'}) {
        if (const qsizetype fin = platforme.indexOf(separateur); fin >= 0)
            platforme.truncate(fin);
    }
    return platforme == "offscreen" || platforme == "minimal";
}

// The command line as Velorin reads it: Qt's own "-platform name" is Qt's, as QApplication
// takes it out when there is a window.
QString parametres(const QStringList& arguments)
{
    QStringList restants;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("-platform") && i + 1 < arguments.size())
            ++i;
        else
            restants << arguments.at(i);
    }
    return restants.join(QLatin1Char(' '));
}

} // namespace

int lanceVelorin(int argc, char* argv[], const std::function<void(Programme&)>& avantDemarrage)
{
    if (const auto statut = repondSansDemarrer(argc, argv))
        return *statut;
    prepareProcessus();
    const bool sansFenetre = sansEcran(argc, argv);
    const std::unique_ptr<QCoreApplication> application =
        sansFenetre ? std::make_unique<QCoreApplication>(argc, argv)
                    : std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velorin"));
    const LigneCommande ligne = LigneCommande::lire(parametres(QCoreApplication::arguments()),
                                                    QProcessEnvironment::systemEnvironment());
    ArretSurSignal signaux;
    if (ligne.machine) {
        ProgrammeMachine machine(ligne, sansFenetre);
        QObject::connect(&signaux, &ArretSurSignal::arretDemande, &machine.arret(),
                         &Arret::demandeArret);
        machine.arret().setSignalRecu([&signaux] { return signaux.recu(); });
        return machine.execute();
    }
    Programme programme(ligne, sansFenetre);
    QObject::connect(&signaux, &ArretSurSignal::arretDemande, &programme.arret(),
                     &Arret::demandeArret);
    programme.arret().setSignalRecu([&signaux] { return signaux.recu(); });
    if (avantDemarrage)
        avantDemarrage(programme);
    return programme.execute();
}
