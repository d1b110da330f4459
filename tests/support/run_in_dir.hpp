// Running the real binary in a scratch folder, as a user's script does.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace test {

class ScratchDir {
 public:
  ScratchDir() {
    char tmpl[] = "/tmp/ciprop_test_XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  void write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
  }
  std::string read(const std::string& name) const {
    std::ifstream f(path_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }

 private:
  std::filesystem::path path_;
};

struct RunResult {
  int status = -1;
  std::string out, err;
};

// Runs `exe` (the program by default) in dir with `input` on standard input.
inline RunResult run_binary(const ScratchDir& dir, const std::string& input,
                            const std::string& exe = CIPROP_EXE) {
  dir.write(".stdin", input);
  std::string cmd = "cd '" + dir.path().string() + "' && '" + exe +
                    "' < .stdin > .stdout 2> .stderr";
  int rc = std::system(cmd.c_str());
  RunResult r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  r.out = dir.read(".stdout");
  r.err = dir.read(".stderr");
  return r;
}

inline std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream s(text);
  for (std::string l; std::getline(s, l);) lines.push_back(l);
  return lines;
}

}  // namespace test
