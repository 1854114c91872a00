#pragma once

#include <QString>

// Where everything the operator is told goes: one line at a time, or "clear".
class SortieMessages
{
public:
    virtual ~SortieMessages() = default;
    virtual void AfficheMessage(const QString& message) = 0;
};
