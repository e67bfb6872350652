#include "rawinput/RCCommandData.h"

RCCommandData::~RCCommandData() = default;
