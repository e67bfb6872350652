#pragma once
// What each command of the reference host does. Each answers the program's exit code.

#include "peers/host/RcHostOptions.h"

int RcList(const RcHostOptions& options);
int RcRegister(const RcHostOptions& options, bool doRegister);
int RcListen(const RcHostOptions& options);
int RcBlast(const RcHostOptions& options);
int RcLearn(const RcHostOptions& options);
