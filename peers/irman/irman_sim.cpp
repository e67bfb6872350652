// A receiver on the far side of a pseudo-terminal: behaves like the serial infrared receiver so that
// the module can be tested against Wine's real serial stack. It links a path (for example a Wine
// prefix's dosdevices/comN or the target of a Ports mapping) to the pty, waits for the 'I' 'R'
// handshake, answers it as told, then sends 6-byte records and reports what it saw and sent.
//
//   irman_sim --link PATH [--answer ok|none|late:MS|bytes:HEX] [--record HEX | --raw HEX | --gate NAME]... [--script FILE]
//             [--count N --rate PER_S] [--burst] [--report FILE] [--stop-file FILE]
//             [--lifetime-ms MS] [--start-delay-ms MS] [--send-now]
//
// Report lines (appended, flushed): "ready <pty>", "opened", "closed", "rx <hex>", "handshake", "answered <hex>",
// "sent <hex> <raw monotonic ns>", "gate <name>", "done", "exit". With no --report they go to standard output.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Step {
  enum Kind { kRecord, kRaw, kSleep, kGate } kind;
  std::vector<unsigned char> bytes;
  int sleepMs = 0;
  std::string gate;
  mutable bool waiting = false;  // its "gate" line is reported once
};

struct Options {
  std::string link;
  std::string answer = "ok";
  std::vector<Step> steps;
  long count = 0;
  double rate = 20.0;
  bool burst = false;
  std::string report;
  std::string stopFile;
  long lifetimeMs = 60000;
  // Past the 100 ms the other side waits before it reads the answer, as a person pressing a
  // button would be.
  long startDelayMs = 300;
  bool sendNow = false;  // records without waiting for a handshake
};

FILE* g_report = stdout;

// The raw monotonic clock is the one Wine's QueryPerformanceCounter counts (in 100 ns units), so a
// "sent" time here and a receive time on the Wine side can be subtracted.
int64_t NowNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void Report(const std::string& line) {
  std::fprintf(g_report, "%s\n", line.c_str());
  std::fflush(g_report);
}

std::string Hex(const unsigned char* data, size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out.push_back(digits[data[i] >> 4]);
    out.push_back(digits[data[i] & 15]);
  }
  return out;
}

bool ParseHex(const std::string& text, std::vector<unsigned char>& out) {
  out.clear();
  std::string digits;
  for (char c : text)
    if (!std::isspace(static_cast<unsigned char>(c))) digits.push_back(c);
  if (digits.size() % 2) return false;
  for (size_t i = 0; i < digits.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = digits.substr(i, 2);
    const long v = std::strtol(pair.c_str(), &end, 16);
    if (*end) return false;
    out.push_back(static_cast<unsigned char>(v));
  }
  return true;
}

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr, "irman_sim: %s\n(see the comment at the top of irman_sim.cpp for the options)\n", why);
  std::exit(2);
}

Options ParseArgs(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(("missing value for " + a).c_str());
      return argv[++i];
    };
    if (a == "--link") o.link = value();
    else if (a == "--answer") o.answer = value();
    else if (a == "--record" || a == "--raw") {
      Step s{a == "--record" ? Step::kRecord : Step::kRaw, {}, 0};
      if (!ParseHex(value(), s.bytes)) Usage("bad hex record");
      o.steps.push_back(s);
    } else if (a == "--gate") {
      // Holds the steps after it until the file <report>.<name> exists: a test opens the gate once
      // the reader has done what must come first, instead of hoping a pause is long enough.
      Step s{Step::kGate, {}, 0};
      s.gate = value();
      o.steps.push_back(s);
    } else if (a == "--script") {
      std::ifstream in(value());
      if (!in) Usage("cannot read the script");
      for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        Step s{Step::kRecord, {}, 0};
        if (line.rfind("sleep ", 0) == 0) {
          s.kind = Step::kSleep;
          s.sleepMs = std::atoi(line.c_str() + 6);
        } else if (line.rfind("raw ", 0) == 0) {
          s.kind = Step::kRaw;
          if (!ParseHex(line.substr(4), s.bytes)) Usage("bad hex in script");
        } else if (!ParseHex(line, s.bytes)) {
          Usage("bad hex in script");
        }
        o.steps.push_back(s);
      }
    } else if (a == "--count") o.count = std::atol(value().c_str());
    else if (a == "--rate") o.rate = std::atof(value().c_str());
    else if (a == "--burst") o.burst = true;
    else if (a == "--send-now") o.sendNow = true;
    else if (a == "--report") o.report = value();
    else if (a == "--stop-file") o.stopFile = value();
    else if (a == "--lifetime-ms") o.lifetimeMs = std::atol(value().c_str());
    else if (a == "--start-delay-ms") o.startDelayMs = std::atol(value().c_str());
    else if (a == "--help" || a == "-h") Usage("help");
    else Usage(("unknown option " + a).c_str());
  }
  if (o.link.empty()) Usage("--link is required");
  if (o.stopFile.empty() && !o.report.empty()) o.stopFile = o.report + ".stop";
  return o;
}

// Generated records: a fixed first byte and the sequence number, so that loss and order show.
std::vector<unsigned char> Generated(long n) {
  return {0xA5, static_cast<unsigned char>(n >> 24), static_cast<unsigned char>(n >> 16),
          static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n), 0x5A};
}

}  // namespace

int main(int argc, char** argv) {
  Options o = ParseArgs(argc, argv);
  if (!o.report.empty()) {
    g_report = std::fopen(o.report.c_str(), "a");
    if (!g_report) Usage("cannot open the report file");
  }

  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::perror("irman_sim: pty");
    return 1;
  }
  const char* slaveName = ptsname(master);
  // The line starts raw at 9600 baud. The slave is not held open here: a hang-up on the master then
  // tells exactly when the other side has the port open, which the report records.
  {
    const int slave = open(slaveName, O_RDWR | O_NOCTTY);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    cfsetspeed(&raw, B9600);
    tcsetattr(slave, TCSANOW, &raw);
    close(slave);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

  unlink(o.link.c_str());
  if (symlink(slaveName, o.link.c_str()) != 0) {
    std::perror("irman_sim: symlink");
    return 1;
  }
  Report(std::string("ready ") + slaveName);

  const int64_t started = NowNs();
  bool sawI = false;
  bool sending = false;
  int64_t nextSendNs = 0;
  size_t stepIndex = 0;
  long generated = 0;
  bool doneReported = false;
  bool portOpen = false;
  int64_t answerAtNs = -1;  // a late answer is sent after this time

  auto writeAll = [&](const std::vector<unsigned char>& bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
      const ssize_t n = write(master, bytes.data() + off, bytes.size() - off);
      if (n > 0) off += static_cast<size_t>(n);
      else if (errno == EAGAIN) usleep(1000);
      else return false;
    }
    return true;
  };
  auto answer = [&]() {
    std::vector<unsigned char> reply;
    if (o.answer == "ok" || o.answer.rfind("late:", 0) == 0) reply = {'O', 'K'};
    else if (o.answer.rfind("bytes:", 0) == 0) ParseHex(o.answer.substr(6), reply);
    if (!reply.empty()) {
      writeAll(reply);
      Report("answered " + Hex(reply.data(), reply.size()));
    }
    // Records follow the first accepted handshake only.
    if (!sending && (o.answer == "ok" || o.answer.rfind("late:", 0) == 0)) {
      sending = true;
      nextSendNs = NowNs() + o.startDelayMs * 1000000;
    }
  };

  if (o.sendNow) {
    sending = true;
    nextSendNs = NowNs() + o.startDelayMs * 1000000;
  }
  for (;;) {
    const int64_t now = NowNs();
    if ((now - started) / 1000000 > o.lifetimeMs) break;
    if (!o.stopFile.empty() && access(o.stopFile.c_str(), F_OK) == 0) break;

    pollfd pfd{master, POLLIN, 0};
    poll(&pfd, 1, 2);
    // What the port's user wrote stays readable after it closed the port: all of it is read before
    // the hang-up is reported, so that a short open (a refused handshake) is seen whole even when
    // this program ran too late to see the port open.
    const bool hungUp = (pfd.revents & POLLHUP) != 0;
    if (!hungUp && !portOpen) {
      portOpen = true;
      Report("opened");
    }
    if (pfd.revents & POLLIN) {
      unsigned char buffer[256];
      for (ssize_t got; (got = read(master, buffer, sizeof buffer)) > 0;) {
        if (!portOpen) {
          portOpen = true;
          Report("opened");
        }
        Report("rx " + Hex(buffer, static_cast<size_t>(got)));
        for (ssize_t i = 0; i < got; ++i) {
          if (buffer[i] == 'I') {
            sawI = true;
          } else if (buffer[i] == 'R' && sawI) {
            sawI = false;
            Report("handshake");
            if (o.answer == "none") continue;
            if (o.answer.rfind("late:", 0) == 0) answerAtNs = NowNs() + std::atol(o.answer.c_str() + 5) * 1000000LL;
            else answer();
          }
        }
        if (!hungUp) break;  // an open port is read a buffer per pass, between the sends
      }
    }
    if (hungUp) {
      if (portOpen) {
        portOpen = false;
        Report("closed");
      }
      usleep(1000);
      continue;
    }
    if (answerAtNs >= 0 && NowNs() >= answerAtNs) {
      answerAtNs = -1;
      answer();
    }

    if (sending && NowNs() >= nextSendNs) {
      if (stepIndex < o.steps.size()) {
        const Step& s = o.steps[stepIndex++];
        if (s.kind == Step::kGate) {
          if (access((o.report + "." + s.gate).c_str(), F_OK) != 0) {
            if (!s.waiting) Report("gate " + s.gate);
            s.waiting = true;
            --stepIndex;
            usleep(1000);
          }
        } else if (s.kind == Step::kSleep) {
          nextSendNs = NowNs() + s.sleepMs * 1000000LL;
        } else {
          const int64_t at = NowNs();
          if (writeAll(s.bytes)) Report("sent " + Hex(s.bytes.data(), s.bytes.size()) + " " + std::to_string(at));
          // Records are spaced so that each reaches the reader on its own.
          nextSendNs = NowNs() + 60 * 1000000LL;
        }
      } else if (generated < o.count) {
        // Every record that is due goes out now; the schedule is a fixed timeline, so the rate holds
        // however long one pass of this loop takes.
        const int64_t period = o.burst ? 0 : static_cast<int64_t>(1e9 / (o.rate > 0 ? o.rate : 20.0));
        while (generated < o.count && NowNs() >= nextSendNs) {
          const auto record = Generated(generated++);
          const int64_t at = NowNs();
          if (writeAll(record)) Report("sent " + Hex(record.data(), record.size()) + " " + std::to_string(at));
          nextSendNs += period;
        }
      } else if (!doneReported) {
        doneReported = true;
        Report("done");
      }
    }
  }
  Report("exit");
  unlink(o.link.c_str());
  close(master);
  if (g_report != stdout) std::fclose(g_report);
  return 0;
}
