#include "foundation/ZrFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Conversion {
  std::string flags;
  int width = -1;
  int precision = -1;
};

void AppendNarrow(std::u16string& out, const char* text) {
  while (*text) out.push_back(static_cast<unsigned char>(*text++));
}

void Pad(std::u16string& out, std::u16string_view text, const Conversion& conversion) {
  const bool left = conversion.flags.find('-') != std::string::npos;
  const size_t width = conversion.width > 0 ? static_cast<size_t>(conversion.width) : 0;
  const size_t fill = width > text.size() ? width - text.size() : 0;
  if (!left) out.append(fill, u' ');
  out.append(text);
  if (left) out.append(fill, u' ');
}

// Runs one numeric conversion through the C library so that flags, width and precision behave
// exactly as printf's do.
template <typename T>
void AppendPrintf(std::u16string& out, const Conversion& conversion, const char* letters, T value) {
  std::string format = "%" + conversion.flags;
  if (conversion.width >= 0) format += std::to_string(conversion.width);
  if (conversion.precision >= 0) format += "." + std::to_string(conversion.precision);
  format += letters;
  char buffer[512];
  int n = std::snprintf(buffer, sizeof buffer, format.c_str(), value);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof buffer) {
    AppendNarrow(out, buffer);
    return;
  }
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), format.c_str(), value);
  AppendNarrow(out, big.c_str());
}

bool IsInteger(const ZrFormatArg* arg) { return arg && arg->type == kZrArgInt64; }

}  // namespace

ZrString ZrFormat(const ZrChar* pattern, const ZrFormatArg* args, int count) {
  if (!pattern) return ZrString();
  std::u16string out;
  int next = 0;
  auto take = [&]() -> const ZrFormatArg* {
    if (!args || next >= count) return nullptr;
    return &args[next++];
  };
  auto takeInt = [&]() -> long long {
    const ZrFormatArg* arg = take();
    return IsInteger(arg) ? arg->integer : 0;
  };

  for (const ZrChar* p = pattern; *p;) {
    if (*p != u'%') {
      out.push_back(*p++);
      continue;
    }
    const ZrChar* start = p++;
    Conversion conversion;
    while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0') conversion.flags.push_back(static_cast<char>(*p++));
    if (*p == u'*') {
      ++p;
      long long w = takeInt();
      if (w < 0) {
        conversion.flags.push_back('-');
        w = -w;
      }
      conversion.width = static_cast<int>(std::min<long long>(w, 4096));
    } else {
      while (*p >= u'0' && *p <= u'9') conversion.width = std::min(4096, std::max(conversion.width, 0) * 10 + (*p++ - u'0'));
    }
    if (*p == u'.') {
      ++p;
      conversion.precision = 0;
      if (*p == u'*') {
        ++p;
        conversion.precision = static_cast<int>(std::clamp<long long>(takeInt(), -1, 4096));
      } else {
        while (*p >= u'0' && *p <= u'9') conversion.precision = std::min(4096, conversion.precision * 10 + (*p++ - u'0'));
      }
    }
    if (*p == u'I') {
      ++p;
      if ((p[0] == u'6' && p[1] == u'4') || (p[0] == u'3' && p[1] == u'2')) p += 2;
    } else {
      while (*p == u'l') ++p;
    }

    const ZrChar letter = *p;
    if (!letter) {
      out.append(start, p);
      break;
    }
    ++p;
    switch (letter) {
      case u'%':
        out.push_back(u'%');
        break;
      case u's':
      case u'S': {
        const ZrFormatArg* arg = take();
        std::u16string text;
        if (arg && arg->type == kZrArgNarrow) {
          if (arg->narrow) {
            ZrString decoded = ZrString::FromUtf8(arg->narrow);
            text.assign(decoded.View());
          } else {
            text = u"(null)";
          }
        } else if (arg && arg->type == kZrArgWide) {
          text = arg->wide ? std::u16string(arg->wide) : u"(null)";
        } else if (arg && arg->type == kZrArgString) {
          if (arg->string) text.assign(arg->string->View());
          else text = u"(null)";
        }
        if (conversion.precision >= 0 && text.size() > static_cast<size_t>(conversion.precision)) text.resize(static_cast<size_t>(conversion.precision));
        Pad(out, text, conversion);
        break;
      }
      case u'd':
      case u'i':
        AppendPrintf(out, conversion, "lld", takeInt());
        break;
      case u'u':
        AppendPrintf(out, conversion, "llu", static_cast<unsigned long long>(takeInt()));
        break;
      case u'x':
      case u'X':
      case u'h':
      case u'p': {
        unsigned long long value = static_cast<unsigned long long>(takeInt());
        if (letter == u'h') conversion.precision = std::max(conversion.precision, 8);
        if (letter == u'p') conversion.precision = std::max(conversion.precision, 16);
        // A negative 32-bit value widened to 64 bits prints as the 32-bit value it was.
        if ((value >> 32) == 0xFFFFFFFFull && conversion.precision <= 8) value &= 0xFFFFFFFFull;
        AppendPrintf(out, conversion, letter == u'x' ? "llx" : "llX", value);
        break;
      }
      case u'c': {
        const long long value = takeInt();
        if (value >= 1 && value <= 65535) {
          const ZrChar c = static_cast<ZrChar>(value);
          Pad(out, std::u16string_view(&c, 1), conversion);
        }
        break;
      }
      case u'f': {
        const ZrFormatArg* arg = take();
        AppendPrintf(out, conversion, "f", arg && arg->type == kZrArgDouble ? arg->real : 0.0);
        break;
      }
      default:
        // Not a conversion of ours: keep the text as written.
        out.append(start, p);
        break;
    }
  }
  return ZrString::FromUnits(out.data(), out.size());
}

ZrString ZrFormatA(const char* pattern, const ZrFormatArg* args, int count) {
  if (!pattern) return ZrString();
  ZrString wide = ZrString::FromUtf8(pattern);
  return ZrFormat(wide.c_str(), args, count);
}
