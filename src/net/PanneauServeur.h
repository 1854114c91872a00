#pragma once

#include "trace/SortieMessages.h"

#include <QString>

// What the channel server reads and writes of the device's model: the link label and "flux IP".
class PanneauServeur : public SortieMessages
{
public:
    // "flux IP": trace received and sent texts.
    virtual bool Chk_TraceIP() const = 0;
    // Caption and background (0xRRGGBB) of the valid-link label.
    virtual void setLbl_LiaisonValide(const QString& legende, quint32 fondRgb) = 0;
};
