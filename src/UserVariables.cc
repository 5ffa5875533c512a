#include "UserVariables.h"

UserVariables::~UserVariables() = default;

void UserVariables::mainLoop() {}
