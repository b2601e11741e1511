// pexlunectl: talks to the core without the page. Reads one request envelope
// per line on standard input and prints one JSON object per line.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "CoreLibrary.h"
#include "JsonLine.h"
#include "support/TextCodec.h"

namespace {

struct Options {
  std::string workDir;
  double lingerSeconds = 0;
};

void Usage() {
  std::fprintf(stderr,
               "usage: pexlunectl [--workdir DIR] [--linger SECONDS]\n"
               "Reads request envelopes, one per line, from standard input and\n"
               "prints one JSON object per line for each reply and callback.\n");
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--workdir" && i + 1 < argc) {
      options.workDir = argv[++i];
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
  InitArgs args{nullptr, options.workDir.empty() ? nullptr : options.workDir.c_str()};
  if (core.initialize(&args, nullptr) != 0) {
    std::fprintf(stderr, "pexlunectl: the core did not start\n");
    return 1;
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Emit(JsonLine::Reply(RunRequest(core, line)));
  }
  if (options.lingerSeconds > 0)
    std::this_thread::sleep_for(std::chrono::duration<double>(options.lingerSeconds));
  core.uninitialize(nullptr, nullptr);
  return 0;
}
