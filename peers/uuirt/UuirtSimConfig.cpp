#include "peers/uuirt/UuirtSimConfig.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool ParseNumber(const std::string& text, long long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtoll(text.c_str(), &end, 0);
  return end && *end == '\0';
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t begin = 0;
  for (;;) {
    const size_t end = text.find(separator, begin);
    parts.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
    if (end == std::string::npos) return parts;
    begin = end + 1;
  }
}

}  // namespace

std::string UuirtSimCode(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "5A%010X", static_cast<unsigned>(n));
  return text;
}

std::vector<std::string> UuirtSimConfig::ReceivedCodes() const {
  if (!codes.empty()) return codes;
  std::vector<std::string> generated;
  generated.reserve(static_cast<size_t>(count > 0 ? count : 0));
  for (int n = 0; n < count; ++n) generated.push_back(UuirtSimCode(n));
  return generated;
}

UuirtSimConfig UuirtParseSimConfig(const std::string& text) {
  UuirtSimConfig config;
  for (const std::string& pair : Split(text, ';')) {
    if (pair.empty()) continue;
    const size_t equals = pair.find('=');
    const std::string name = pair.substr(0, equals);
    const std::string value = equals == std::string::npos ? std::string() : pair.substr(equals + 1);
    long long number = 0;
    const bool isNumber = ParseNumber(value, &number);
    bool understood = true;
    if (name == "report") {
      config.report = value;
    } else if (name == "version" && isNumber) {
      config.version = static_cast<uint32_t>(number);
    } else if (name == "drvinfo" && value == "fail") {
      config.drvInfoFails = true;
    } else if (name == "open-error" && isNumber) {
      config.openFails = true;
      config.openError = static_cast<uint32_t>(number);
    } else if (name == "open-result" && (value == "null" || value == "invalid")) {
      config.openReturnsNull = value == "null";
    } else if (name == "codes") {
      config.codes = Split(value, ',');
    } else if (name == "count" && isNumber && number >= 0) {
      config.count = static_cast<int>(number);
    } else if (name == "rate") {
      config.rate = std::atof(value.c_str());
      understood = config.rate > 0;
    } else if (name == "start-delay-ms" && isNumber && number >= 0) {
      config.startDelayMs = static_cast<int>(number);
    } else if (name == "transmit-ms" && isNumber && number >= 0) {
      config.transmitMs = static_cast<int>(number);
    } else if (name == "transmit" && (value == "never" || value == "fail")) {
      config.transmitNever = value == "never";
      config.transmitFails = value == "fail";
    } else if (name == "learn-text") {
      config.learnText = value;
    } else if (name == "learn-ms" && isNumber && number >= 0) {
      config.learnMs = static_cast<int>(number);
    } else if (name == "learn" && (value == "fail" || value == "fill")) {
      config.learnFails = value == "fail";
      config.learnFills = value == "fill";
    } else if (name == "close" && value == "drain") {
      config.drainOnClose = true;
    } else {
      understood = false;
    }
    if (!understood && config.error.empty()) config.error = pair;
  }
  return config;
}
