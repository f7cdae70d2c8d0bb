#include "cli_runs.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

extern char** environ;

namespace bench {

std::vector<std::string> InstalledProfiles() {
  std::vector<std::string> found;
  for (const char* folder : {"/usr/share/color/argyll/ref", "/usr/share/color/icc",
                             "/usr/share/color/icc/colord"}) {
    DIR* dir = opendir(folder);
    if (!dir) continue;
    while (const dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      const std::string path = std::string(folder) + "/" + name;
      for (char& c : name) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      struct stat st;
      if (name.size() > 4 && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
          (name.compare(name.size() - 4, 4, ".icc") == 0 ||
           name.compare(name.size() - 4, 4, ".icm") == 0))
        found.push_back(path);
    }
    closedir(dir);
  }
  return found;
}

bool ReadAll(const std::string& path, std::vector<uint8_t>* bytes) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  bytes->clear();
  uint8_t buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
    bytes->insert(bytes->end(), buffer, buffer + n);
  std::fclose(f);
  return true;
}

bool MakeCopies(const std::vector<std::vector<uint8_t>>& corpus, const std::string& dir,
                std::size_t count, std::vector<std::string>* files) {
  files->clear();
  mkdir(dir.c_str(), 0755);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string path = dir + "/" + std::to_string(i) + ".icc";
    FILE* f = std::fopen(path.c_str(), "wb");
    const auto& bytes = corpus[i % corpus.size()];
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f))
      return false;
    files->push_back(path);
  }
  sync();
  return true;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double TimeProgram(const std::vector<std::string>& args, bool any_exit) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  int status = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0 ||
      waitpid(pid, &status, 0) != pid)
    status = -1;
  const double seconds = Seconds(start);
  posix_spawn_file_actions_destroy(&actions);
  return status == 0 || (any_exit && status != -1 && WIFEXITED(status)) ? seconds : -1;
}

}  // namespace bench
