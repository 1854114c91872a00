#include "AideLigneCommande.h"
#include "ApiControle.h"
#include "ArretSurSignal.h"
#include "FenetrePrincipale.h"
#include "FichierPret.h"
#include "FiltreMessagesQt.h"
#include "LigneCommande.h"

#include <QApplication>
#include <QJsonObject>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Without a display, Velorin runs on Qt's offscreen platform.
bool aucunEcran()
{
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

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
    if (aucunEcran())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    filtreMessagesQt();
}

// Where the log's mirror goes: LOG= says, or standard output when no window can be shown.
bool ouvreMiroir(FenetrePrincipale& fenetre, const LigneCommande& parametres, bool sansEcran)
{
    if (parametres.journalCoupe() || (!parametres.journal && !sansEcran))
        return true;
    if (!parametres.journal || parametres.journalStdout()) {
        fenetre.activeMiroir(STDOUT_FILENO, false);
        return true;
    }
    const int fichier = ::open(parametres.journal->toLocal8Bit().constData(),
                               O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fichier < 0) {
        fenetre.signaleEchecDemarrage(QStringLiteral("impossible d'ouvrir le fichier journal \"")
                                      + *parametres.journal + QStringLiteral("\" : ")
                                      + QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    fenetre.activeMiroir(fichier, true);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (repondSansDemarrer(argc, argv))
        return 0;
    prepareProcessus();

    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Velorin"));
    const QString platforme = QGuiApplication::platformName();
    const bool sansEcran = platforme == QLatin1String("offscreen") || platforme == QLatin1String("minimal");
    const LigneCommande parametres =
        LigneCommande::lire(application.arguments().mid(1).join(QLatin1Char(' ')));

    FenetrePrincipale fenetre;
    fenetre.setSansEcran(sansEcran);
    ArretSurSignal arret;
    QObject::connect(&arret, &ArretSurSignal::arretDemande, &fenetre, &FenetrePrincipale::demandeArret);
    std::unique_ptr<ApiControle> controle;
    if (parametres.portControle)
        controle = std::make_unique<ApiControle>(fenetre);
    const std::optional<FichierPret> pret =
        parametres.fichierPret ? std::optional(FichierPret(*parametres.fichierPret)) : std::nullopt;

    // An earlier run's ready file goes first, whatever stops this start.
    QString raison;
    if (pret && !pret->prepare(raison)) {
        fenetre.signaleEchecDemarrage(QStringLiteral("fichier READY inutilisable \"")
                                      + pret->fichier() + QStringLiteral("\" : ") + raison);
        return 1;
    }
    if (!ouvreMiroir(fenetre, parametres, sansEcran))
        return 1;
    if (!fenetre.Form_Load(parametres))
        return 1;
    if (fenetre.arretEstDemande()) {
        fenetre.close();
        return 0;
    }
    if (controle
        && !controle->demarre(*parametres.portControle,
                              parametres.adresseControle.value_or(QString())))
        return 1;
    if (pret
        && !pret->ecrit({{QStringLiteral("pid"), QCoreApplication::applicationPid()},
                         {QStringLiteral("port"), int(fenetre.portEcoute())},
                         {QStringLiteral("control_port"),
                          controle ? QJsonValue(int(controle->port())) : QJsonValue()},
                         {QStringLiteral("version"), QStringLiteral(VELORIN_VERSION)},
                         {QStringLiteral("mode"), fenetre.Cmb_Simulate()}},
                        raison)) {
        fenetre.signaleEchecDemarrage(QStringLiteral("impossible d'écrire le fichier READY \"")
                                      + pret->fichier() + QStringLiteral("\" : ") + raison);
        return 1;
    }
    // A stop asked meanwhile has already closed the window.
    if (fenetre.arretEstDemande())
        return 0;
    return application.exec();
}
