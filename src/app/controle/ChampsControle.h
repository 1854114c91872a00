#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class PanneauControle;
class ServeurCanaux;

// The fields of GET /state and PATCH /state: one table that gives each field's name, JSON
// type, how it is read and, for the writable ones, how it is checked and written. Reading,
// checking, applying and logging a change all go through it.
class ChampsControle
{
public:
    enum class Type { Texte, Booleen, Entier };
    struct Champ
    {
        QString nom;
        Type type;
        std::function<QJsonValue()> lit;
        // Empty for a field a script may only read.
        std::function<void(const QJsonValue&)> ecrit = {};
        // The reason a well-typed value is refused, or nothing.
        std::function<QString(const QJsonValue&)> refuse = {};
    };
    struct Refus
    {
        QString raison;
        QString champ;
        QString detail;
        QString code;
    };
    // The longest text a field takes.
    static constexpr qsizetype TexteMax = 1024;

    ChampsControle(PanneauControle& panneau, const ServeurCanaux& serveur,
                   const std::function<quint16()>& portEcoute);

    QJsonObject etat() const;
    // Checks every field of the request before any is written: a refused request changes
    // nothing. Otherwise writes them in the table's order (the mode last, as an operator sets
    // up then switches) and returns what changed, for the log.
    std::optional<Refus> verifie(const QJsonObject& demande) const;
    QString applique(const QJsonObject& demande);

private:
    QList<Champ> champs;
};
