#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// A member of a JSON object that nothing reads: refused the same way wherever it is, by its
// path, the reason "unknown field" and the code "unknown_field" (the control API, scenarios,
// fault rules).
struct MembreInconnu
{
    QString champ; // "auto_homing.delay", "[1].action.bytes"...
    static QString raison() { return QStringLiteral("unknown field"); }
    static QString code() { return QStringLiteral("unknown_field"); }
};

// The first member of `objet` that is not one of `connus`, its path under `chemin`.
std::optional<MembreInconnu> membreInconnu(const QJsonObject& objet, const QStringList& connus,
                                           const QString& chemin = {});
