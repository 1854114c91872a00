#pragma once

#include <QJsonObject>
#include <QString>

// The file a test rig waits for instead of reading the log: written once every port listens,
// whole or not at all (a temporary file renamed into place), and never left over from an
// earlier run at that path.
class FichierPret
{
public:
    explicit FichierPret(QString fichier) : chemin(std::move(fichier)) {}

    // Before start-up: removes what an earlier run left there, and checks that the file can
    // be written. False with the reason otherwise.
    bool prepare(QString& raison) const;
    bool ecrit(const QJsonObject& contenu, QString& raison) const;

    const QString& fichier() const { return chemin; }

private:
    QString chemin;
};
