#pragma once

// The process's soft limit on open descriptors, or 0 when there is none to heed. Both listeners
// (the device port and the control port) keep their last descriptors out of clients' reach.
int limiteDescripteursProcessus();
