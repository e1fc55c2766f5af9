#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "text_writer.h"

namespace vemra::tool {

// The files of one run, all or nothing. Every path is checked when the plan is made,
// before the long work: a directory, a device or the input itself is refused, a symbolic
// link is written through (its target is replaced), missing folders are created and the
// folder must be writable. write() writes each file under a temporary name beside its
// final path; commit() renames them all into place, and if one rename fails, puts back
// what the earlier ones replaced. On any failure, and on SIGINT or SIGTERM once
// remove_temporaries_on_signals() was called, the temporary files and the folders created
// are removed.
class OutputFiles {
 public:
  // Installs handlers of SIGINT and SIGTERM that remove what is registered, then die of
  // the signal: for a program that owns its signals (not a library inside Python).
  static void remove_temporaries_on_signals();

  // Throws InputError naming the path.
  OutputFiles(std::vector<std::string> paths, const std::string& input);
  OutputFiles(const OutputFiles&) = delete;
  OutputFiles& operator=(const OutputFiles&) = delete;
  ~OutputFiles();

  // Writes the file of paths[index] through `write`. Throws InputError naming the path.
  void write(std::size_t index, const std::function<void(TextWriter&)>& write);
  // Renames every written file into place. Throws InputError naming the path.
  void commit();

 private:
  void plan(const std::string& path, const std::string& input);
  void remove_created_folders();

  struct File {
    std::string path;       // as given, for messages
    std::string target;     // where it goes: symbolic links resolved
    std::string temporary;  // empty until written
  };
  std::vector<File> files_;
  std::vector<std::string> created_folders_;  // deepest last
  bool committed_{false};
};

}  // namespace vemra::tool
