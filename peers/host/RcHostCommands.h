#pragma once
// What each command of the reference host does. Each answers the program's exit code.

#include "peers/host/RcHostOptions.h"

int RcList(const RcHostOptions& options);
int RcRegister(const RcHostOptions& options, bool doRegister);
int RcListen(const RcHostOptions& options);
int RcBlast(const RcHostOptions& options);
int RcLearn(const RcHostOptions& options);
// Checks a build of the module against the plug-in interface (RcHostValidate.cpp).
int RcValidate(const RcHostOptions& options);
// Starts every plug-in that can start and shows their codes (RcHostMonitor.cpp).
int RcMonitor(const RcHostOptions& options);
