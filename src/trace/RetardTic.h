#pragma once

#include "Histogramme.h"

#include <QtGlobal>

// How late a periodic tick comes: each gap between two ticks beyond the period counts as
// lateness. A busy event loop shows here first, so the figure tells whether the window kept up.
class RetardTic
{
public:
    explicit RetardTic(double periodeMs) : periode(periodeMs) {}

    // A tick at this reading of a steady millisecond clock.
    void tic(double maintenantMs);
    // Forgets what was measured; the next tick starts a new gap.
    void reinitialise();

    double periodeMs() const { return periode; }
    qint64 tics() const { return nombre; }
    double retardMaxMs() const { return retardMax; }
    // Every tick's lateness since the start; a reset of the measure leaves it (GET /metrics
    // counts on).
    const HistogrammeDelais& retards() const { return histogramme; }

private:
    double periode;
    double dernier = -1;
    qint64 nombre = 0;
    double retardMax = 0;
    HistogrammeDelais histogramme{BornesDelaisMs};
};
