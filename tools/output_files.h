#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vemra::tool {

// Files written all or nothing: each is written under a temporary name beside its final
// path, and only when every one is complete are they renamed into place. If anything
// fails, the temporary files are removed and no final path is touched.
class OutputFiles {
 public:
  OutputFiles() = default;
  OutputFiles(const OutputFiles&) = delete;
  OutputFiles& operator=(const OutputFiles&) = delete;
  ~OutputFiles();

  // Writes `content` to a temporary file for `path`. Throws InputError naming the path.
  void add(const std::string& path, const std::string& content);
  // Renames every temporary file into place. Throws InputError naming the path.
  void commit();

 private:
  std::vector<std::pair<std::string, std::string>> pending_;  // temporary, final
};

// Creates the folder and its parents when missing. Throws InputError naming it.
void make_folder(const std::string& path);

}  // namespace vemra::tool
