#pragma once

#include "ZeravVPN.h"

// Start a detached worker thread for a connect or a disconnect; the worker
// reports through the callback exactly once.
void startConnectWorker(const char* server, bool ensureService, ZeravVPN_ResultCallback callback);
void startDisconnectWorker(ZeravVPN_ResultCallback callback);
