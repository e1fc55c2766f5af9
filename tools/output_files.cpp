#include "output_files.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "soup.h"

namespace vemra::tool {

OutputFiles::~OutputFiles() {
  for (const auto& [temporary, path] : pending_) std::remove(temporary.c_str());
}

void OutputFiles::add(const std::string& path, const std::string& content) {
  const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) throw InputError{path + ": cannot write (" + std::strerror(errno) + ")"};
  pending_.emplace_back(temporary, path);
  const bool written =
      std::fwrite(content.data(), 1, content.size(), file) == content.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed)
    throw InputError{path + ": cannot write (" + std::strerror(errno) + ")"};
}

void OutputFiles::commit() {
  for (auto& [temporary, path] : pending_) {
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
      throw InputError{path + ": cannot write (" + std::strerror(errno) + ")"};
    }
    temporary.clear();
  }
  pending_.clear();
}

void make_folder(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error || !std::filesystem::is_directory(path)) {
    throw InputError{path + ": cannot create the output folder (" +
                     (error ? error.message() : std::string{"not a folder"}) + ")"};
  }
}

}  // namespace vemra::tool
