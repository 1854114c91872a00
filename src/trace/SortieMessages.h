#pragma once

#include <QString>

// Where everything the operator is told goes: one line at a time, or "clear".
class SortieMessages
{
public:
    virtual ~SortieMessages() = default;
    virtual void AfficheMessage(const QString& message) = 0;

    // A line longer than the log can ever keep, given by its beginning and the count of bytes
    // of data left out of it.
    virtual void AfficheMessageTropLong(const QString& debut, qsizetype octetsOmis)
    {
        AfficheMessage(debut + marqueOmission(octetsOmis));
    }

    static QString marqueOmission(qsizetype octetsOmis)
    {
        return QStringLiteral(" [... %1 octets non affichés]").arg(octetsOmis);
    }
};
