#include "peers/input/WineHidInput.h"

#include <cstddef>
#include <cstring>

namespace {

// Wine 8.0: the request's index in the server's request table.
constexpr int kSendHardwareMessage = 113;
constexpr int kInputHardware = 2;

#pragma pack(push, 4)
struct SendHardwareMessageRequest {
  int req;
  unsigned requestSize;  // bytes of variable data that follow: the report
  unsigned replySize;
  unsigned win;
  // hw_input_t, hardware kind
  int type;
  unsigned msg;
  unsigned long long lparam;
  int riType;
  unsigned device;
  unsigned param;
  unsigned short usagePage;
  unsigned short usage;
  unsigned count;
  unsigned length;
  unsigned flags;
  unsigned padding;
};
#pragma pack(pop)
static_assert(offsetof(SendHardwareMessageRequest, riType) == 32, "layout of Wine 8.0");
static_assert(offsetof(SendHardwareMessageRequest, flags) == 56, "layout of Wine 8.0");
static_assert(sizeof(SendHardwareMessageRequest) == 64, "the request union is 64 bytes");

struct ServerRequestInfo {
  union {
    SendHardwareMessageRequest request;
    unsigned char reply[64];
  } u;
  unsigned dataCount;
  void* replyData;
  struct {
    const void* ptr;
    unsigned size;
  } data[5];
};

}  // namespace

bool WineHidInput::Open() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto version = ntdll ? reinterpret_cast<const char*(__cdecl*)()>(
                             reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")))
                       : nullptr;
  if (!version) {
    m_error = "HID reports need Wine: ntdll has no wine_get_version, so this is not Wine";
    return false;
  }
  m_version = version();
  if (m_version != kSupportedVersion) {
    m_error = "HID reports are sent through a private request of Wine " + std::string(kSupportedVersion) +
              "; this is Wine " + m_version + ", whose request layout is unknown";
    return false;
  }
  m_call = reinterpret_cast<ServerCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_server_call")));
  if (!m_call) {
    m_error = "ntdll has no wine_server_call";
    return false;
  }
  // The server refuses hardware input from a thread that has no desktop yet.
  GetDesktopWindow();
  return true;
}

uint32_t WineHidInput::Send(uint16_t page, uint16_t usage, uint32_t device, const std::vector<uint8_t>& report) {
  if (!m_call) return 0xC0000001u;  // STATUS_UNSUCCESSFUL
  ServerRequestInfo info;
  std::memset(&info, 0, sizeof info);
  SendHardwareMessageRequest& r = info.u.request;
  r.req = kSendHardwareMessage;
  r.requestSize = static_cast<unsigned>(report.size());
  r.type = kInputHardware;
  r.msg = WM_INPUT;
  r.riType = RIM_TYPEHID;
  r.device = device;
  r.param = RIM_INPUT;
  r.usagePage = page;
  r.usage = usage;
  r.count = 1;
  r.length = static_cast<unsigned>(report.size());
  info.dataCount = 1;
  info.data[0].ptr = report.data();
  info.data[0].size = static_cast<unsigned>(report.size());
  return m_call(&info);
}
