// Build-time tool: writes the window's chip icon as the PNGs the desktop installs,
// so the installed icon is always the one the window shows.
//   exporte_icones <directory>  ->  <directory>/<n>x<n>/apps/velorin.png for n = 16, 32, 48

#include "Icones.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QGuiApplication application(argc, argv);
    QTextStream erreur(stderr);
    if (application.arguments().size() != 2) {
        erreur << "usage: exporte_icones <directory>\n";
        return 2;
    }
    const QString racine = application.arguments().at(1);
    const QIcon icone = iconePuce();
    for (int taille : {16, 32, 48}) {
        // A ratio of 1 asks for the drawing made at exactly this size, not a scaled one.
        const QImage image = icone.pixmap(QSize(taille, taille), 1.0).toImage();
        if (image.size() != QSize(taille, taille)) {
            erreur << "icon drawn at " << image.width() << "x" << image.height() << ", not "
                   << taille << "x" << taille << "\n";
            return 1;
        }
        const QString dossier = QStringLiteral("%1/%2x%2/apps").arg(racine).arg(taille);
        const QString fichier = dossier + QStringLiteral("/velorin.png");
        if (!QDir().mkpath(dossier) || !image.save(fichier, "PNG")) {
            erreur << "cannot write " << fichier << "\n";
            return 1;
        }
    }
    return 0;
}
