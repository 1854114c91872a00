#pragma once

// `velorin --check-health http://127.0.0.1:8080/health`: asks a running Velorin's control API
// whether it is well, for a container's health check that has no HTTP client of its own.
// 0 when the address answers 200 within DelaiVerificationSanteMs, 1 otherwise; one line says
// which on the standard output or error. Nothing of Qt is started. The control port's token,
// when VELORIN_CONTROL_TOKEN or VELORIN_CONTROL_TOKEN_FILE gives one, goes with the request.
constexpr int DelaiVerificationSanteMs = 5000;
int verifieSante(const char* adresse);
