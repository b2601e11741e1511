// pexlunectl: talks to the core without the page. Reads one request envelope
// per line on standard input and prints one JSON object per line.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "CoreLibrary.h"
#include "DriverHost.h"
#include "PageLoop.h"
#include "JsonLine.h"
#include "ListDevices.h"
#include "support/TextCodec.h"

namespace {

struct Options {
  std::string workDir;
  double lingerSeconds = 0;
  bool listDevices = false;
};

void Usage() {
  std::fprintf(stderr,
               "usage: pexlunectl [--workdir DIR] [--linger SECONDS] [--list-devices]\n"
               "Reads request envelopes, one per line, from standard input and\n"
               "prints one JSON object per line for each reply and callback.\n"
               "--list-devices prints the printers and serial ports instead.\n");
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--workdir" && i + 1 < argc) {
      options.workDir = argv[++i];
    } else if (arg == "--list-devices") {
      options.listDevices = true;
    } else if (arg == "--linger" && i + 1 < argc) {
      char* end = nullptr;
      options.lingerSeconds = std::strtod(argv[++i], &end);
      if (!end || *end || options.lingerSeconds < 0) return false;
    } else {
      return false;
    }
  }
  return true;
}

std::string OwnFolder() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "./";
  std::string text(path, static_cast<size_t>(n));
  return text.substr(0, text.rfind('/') + 1);
}

void Emit(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string RunRequest(CoreLibrary& core, const std::string& line) {
  std::u16string request = TextCodec::Utf8ToUtf16(line);
  char16_t* reply = core.callFunction(request.c_str());
  std::string text = reply ? TextCodec::Utf16ToUtf8(reply) : std::string();
  core.freeString(reply);
  return text;
}

// Reads standard input on its own thread and queues each line on the page
// loop, so requests and callbacks run one at a time on the page thread.
// "#wait CODE [SECONDS]" holds further input until one more callback CODE
// than the earlier waits for it consumed has arrived; other lines starting
// with "#" are comments. Lets a script sequence a login before what needs it.
void RunDirective(const std::string& line, DriverHost& host, std::map<std::string, int>& waited) {
  std::istringstream words(line.substr(1));
  std::string verb;
  std::string code;
  double seconds = 30;
  words >> verb >> code >> seconds;
  if (verb != "wait" || code.empty()) return;
  int wanted = ++waited[code];
  auto timeout = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  if (!host.WaitForCallbacks(code, wanted, timeout))
    std::fprintf(stderr, "pexlunectl: no callback %s within %g s\n", code.c_str(), seconds);
}

void ReadRequests(PageLoop& loop, CoreLibrary& core, DriverHost& host, double lingerSeconds) {
  std::string line;
  std::map<std::string, int> waited;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '#') {
      RunDirective(line, host, waited);
      continue;
    }
    loop.Post([&core, line] { Emit(JsonLine::Reply(RunRequest(core, line))); });
  }
  loop.Post([&loop, lingerSeconds] {
    if (lingerSeconds <= 0) return loop.Quit();
    auto linger = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(lingerSeconds));
    loop.LingerUntil(std::chrono::steady_clock::now() + linger);
  });
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    Usage();
    return 2;
  }
  CoreLibrary core;
  std::string error;
  if (!core.Load(OwnFolder(), error)) {
    std::fprintf(stderr, "pexlunectl: %s\n", error.c_str());
    return 1;
  }
  PageLoop loop;
  DriverHost host(loop);
  InitArgs args{host.Host(), options.workDir.empty() ? nullptr : options.workDir.c_str()};
  if (core.initialize(&args, nullptr) != 0) {
    std::fprintf(stderr, "pexlunectl: the core did not start\n");
    return 1;
  }
  if (options.listDevices) {
    const int status = ListDevices(core);
    core.uninitialize(nullptr, nullptr);
    return status;
  }
  core.setCallback(host.Callback());
  std::thread reader(ReadRequests, std::ref(loop), std::ref(core), std::ref(host),
                     options.lingerSeconds);
  loop.Run();
  // Workers still waiting on a callback must be released before the core
  // stops and waits for them.
  host.DetachPage();
  loop.Close();
  reader.join();
  core.uninitialize(nullptr, nullptr);
  return 0;
}
