#pragma once

#include <functional>

class Horloge;

// The program's millisecond counter, steady, from an arbitrary origin.
double Get_Exact_Milli_Second(const Horloge& horloge);

// Waits TempsEnMs milliseconds without freezing the window: pending events run, then the
// thread sleeps 10 ms, until the time has passed. The events run at least once.
void timePauseMs(float TempsEnMs, const Horloge& horloge,
                 const std::function<void()>& laisserPasserEvenements);

// The same, with the pending events of the running Qt event loop.
void timePauseMs(float TempsEnMs);
