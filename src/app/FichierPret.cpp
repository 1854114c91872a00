#include "FichierPret.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

bool FichierPret::prepare(QString& raison) const
{
    const QFileInfo info(chemin);
    if (chemin.isEmpty() || info.isDir()) {
        raison = QStringLiteral("un nom de fichier est attendu");
        return false;
    }
    const QFileInfo dossier(info.absolutePath());
    if (!dossier.isDir()) {
        raison =
            QStringLiteral("le dossier ") + dossier.filePath() + QStringLiteral(" n'existe pas");
        return false;
    }
    if (!dossier.isWritable()) {
        raison = QStringLiteral("le dossier ") + dossier.filePath()
                 + QStringLiteral(" n'est pas accessible en écriture");
        return false;
    }
    QFile ancien(chemin);
    if (ancien.exists() && !ancien.remove()) {
        raison = ancien.errorString();
        return false;
    }
    return true;
}

bool FichierPret::ecrit(const QJsonObject& contenu, QString& raison) const
{
    QSaveFile fichier(chemin);
    if (!fichier.open(QIODevice::WriteOnly)) {
        raison = fichier.errorString();
        return false;
    }
    fichier.write(QJsonDocument(contenu).toJson(QJsonDocument::Compact) + '\n');
    if (!fichier.commit()) {
        raison = fichier.errorString();
        return false;
    }
    return true;
}
