// Everything a module of the station server needs from the framework.
#pragma once

#include "Corvane/Application.h"
#include "Corvane/ApplicationModule.h"
#include "Corvane/ArrayAccessor.h"
#include "Corvane/ConfigReader.h"
#include "Corvane/ControlSystem.h"
#include "Corvane/DataConsistencyGroup.h"
#include "Corvane/Exception.h"
#include "Corvane/Logger.h"
#include "Corvane/ModuleGroup.h"
#include "Corvane/ReadAnyGroup.h"
#include "Corvane/ScalarAccessor.h"
#include "Corvane/Time.h"
#include "Corvane/Utilities.h"
#include "Corvane/VariableGroup.h"
