#pragma once
// The module's product texts, shared by its version resource and its registration. Plain macros so
// that the resource compiler can read this file too.

#define ZR_COMPANY_NAME "Zorvane, Inc."
#define ZR_PLUGIN_DESCRIPTION "Zorvane main remote control plug-ins."
#define ZR_PLUGIN_VERSION_TEXT "1.0.1"
#define ZR_PLUGIN_URL "www.zorvane.com"
#define ZR_PLUGIN_COPYRIGHT "Copyright (C) 2026 Zorvane, Inc. All rights reserved."
