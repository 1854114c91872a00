#include "ValeursCles.h"

#include <QHostAddress>

#include <cmath>

namespace {

bool chiffresSeulement(const QString& texte)
{
    if (texte.isEmpty())
        return false;
    for (const QChar c : texte) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

std::optional<quint16> portValide(const QString& texte)
{
    if (!chiffresSeulement(texte))
        return std::nullopt;
    bool ok = false;
    const int port = texte.toInt(&ok);
    if (!ok || port < 0 || port > 65535)
        return std::nullopt;
    return quint16(port);
}

std::optional<quint64> graineTexte(const QString& texte)
{
    if (!chiffresSeulement(texte))
        return std::nullopt;
    bool ok = false;
    const quint64 graine = texte.toULongLong(&ok);
    if (!ok || graine > GraineMax)
        return std::nullopt;
    return graine;
}

std::optional<quint64> graineJson(const QJsonValue& valeur)
{
    const double n = valeur.toDouble(-1);
    if (!valeur.isDouble() || n < 0 || n > double(GraineMax) || n != std::floor(n))
        return std::nullopt;
    return quint64(n);
}

std::optional<bool> decoupageParCR(const QString& texte)
{
    if (texte.compare(QLatin1String("CR"), Qt::CaseInsensitive) == 0)
        return true;
    if (texte.compare(QLatin1String("NONE"), Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

std::optional<HotePort> litHotePort(const QString& texte)
{
    QString hote;
    QString port;
    if (texte.startsWith(QLatin1Char('['))) {
        const qsizetype fin = texte.indexOf(QLatin1String("]:"));
        if (fin < 0)
            return std::nullopt;
        hote = texte.mid(1, fin - 1);
        port = texte.mid(fin + 2);
        if (QHostAddress(hote).protocol() != QAbstractSocket::IPv6Protocol)
            return std::nullopt;
    } else {
        const qsizetype deuxPoints = texte.lastIndexOf(QLatin1Char(':'));
        if (deuxPoints < 0)
            return std::nullopt;
        hote = texte.left(deuxPoints);
        port = texte.mid(deuxPoints + 1);
        if (hote.contains(QLatin1Char(':')))
            return std::nullopt;
    }
    const auto numero = portValide(port);
    if (hote.isEmpty() || !numero || *numero == 0)
        return std::nullopt;
    return HotePort{hote, *numero};
}
