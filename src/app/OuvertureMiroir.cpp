#include "OuvertureMiroir.h"

#include "LigneCommande.h"
#include "trace/MiroirSortie.h"
#include "trace/OuvertureEcriture.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

std::optional<QString> ouvreMiroirJournal(const LigneCommande& parametres, bool sansEcran,
                                          Journal& journal, const std::function<bool()>& interrompu,
                                          std::unique_ptr<MiroirSortie>& miroir)
{
    if (parametres.journalCoupe() || (!parametres.journal && !sansEcran))
        return std::nullopt;
    if (!parametres.journal || parametres.journalStdout()) {
        miroir = std::make_unique<MiroirSortie>(journal, STDOUT_FILENO);
        return std::nullopt;
    }
    const int fichier = ouvreEnEcriture(QFile::encodeName(*parametres.journal),
                                        O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, interrompu);
    if (fichier < 0) {
        const int erreur = errno;
        return QStringLiteral("impossible d'ouvrir le fichier LOG \"") + *parametres.journal
               + QStringLiteral("\" : ") + QString::fromLocal8Bit(std::strerror(erreur));
    }
    miroir = std::make_unique<MiroirSortie>(journal, fichier, true);
    return std::nullopt;
}
