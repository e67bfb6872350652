#pragma once
// What the substitute transceiver driver is told to do. The settings come from the environment
// variable ZR_UUIRT_SIM as "name=value" pairs separated by ";", for example
//   report=C:\t\uuirt.log;version=0x100;codes=A1B2,C3D4;rate=20;start-delay-ms=500;learn-text=0000 006D
// and are read again at every driver call that uses them, so that a test in the same process can
// change them between calls.
//
// Settings (defaults in brackets):
//   report=<path>         append what the driver sees to this file [no report]
//   version=<n>           the driver version UUIRTGetDrvInfo reports [0x100]; drvinfo=fail fails it
//   open-error=<n>        UUIRTOpen fails with this last-error code [opens]; open-result=null|invalid
//                         picks the failed handle's value [invalid]
//   codes=<a>,<b>,...     codes the device receives after opening, in order [none]
//   count=<n>             or n generated codes "5A00000000nn" (12 hex digits, numbered from 0)
//   rate=<per second>     pace of those codes on a fixed timeline [10]
//   start-delay-ms=<n>    time from UUIRTOpen to the first of them [0]
//   transmit-ms=<n>       a transmission's duration before its event is signalled [20]
//   transmit=never|fail   never signal the event / refuse the transmission
//   learn-text=<text>     the code a learn produces [a fixed pattern]
//   learn-ms=<n>          how long a learn takes [200]
//   learn=fail|fill       fail the learn / fill the whole 2048-byte buffer, unterminated
//   close=drain           UUIRTClose first delivers every code already queued

#include <cstdint>
#include <string>
#include <vector>

struct UuirtSimConfig {
  std::string report;
  uint32_t version = 0x100;
  bool drvInfoFails = false;
  bool openFails = false;
  uint32_t openError = 0;
  bool openReturnsNull = false;
  std::vector<std::string> codes;
  int count = 0;
  double rate = 10.0;
  int startDelayMs = 0;
  int transmitMs = 20;
  bool transmitNever = false;
  bool transmitFails = false;
  std::string learnText = "0000 006D 0000 0022 00AC 00AC 0015 0040 0015 0015";
  int learnMs = 200;
  bool learnFails = false;
  bool learnFills = false;
  bool drainOnClose = false;
  std::string error;  // the first setting that was not understood

  // The codes the device receives after opening: `codes`, or `count` generated ones.
  std::vector<std::string> ReceivedCodes() const;
};

UuirtSimConfig UuirtParseSimConfig(const std::string& text);
// The generated code number n.
std::string UuirtSimCode(int n);
