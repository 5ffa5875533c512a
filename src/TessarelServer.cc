#include "TessarelServer.h"

TessarelServer::~TessarelServer() = default;
