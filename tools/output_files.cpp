// Paths are checked up front; files are written to temporaries, then renamed into place
// together. A registry of the temporaries and the folders made lets a signal handler
// remove them: it holds fixed buffers, so that the handler only calls unlink() and
// rmdir().

#include "output_files.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "soup.h"

namespace vemra::tool {
namespace {

namespace fs = std::filesystem;

// What a signal must remove: temporary files, and the folders made for them (removed
// after the files, the last made first).
constexpr std::size_t max_registered = 32;
constexpr std::size_t max_path = 4096;
char registered[max_registered][max_path];
bool registered_folder[max_registered];
// Per slot: free, claimed (its path being written), or ready for the handler.
enum Slot : int { free_slot, claimed_slot, ready_slot };
std::atomic<int> registered_state[max_registered];
// Nothing is registered unless the program installed the handlers.
std::atomic<bool> handlers_installed{false};

extern "C" void remove_registered_and_die(int signal_number) {
  for (std::size_t i = 0; i < max_registered; ++i) {
    if (registered_state[i].load() == ready_slot && !registered_folder[i]) {
      ::unlink(registered[i]);
    }
  }
  for (std::size_t i = max_registered; i-- > 0;) {
    if (registered_state[i].load() == ready_slot && registered_folder[i]) {
      ::rmdir(registered[i]);
    }
  }
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

// Registers a path for removal on SIGINT or SIGTERM, once the handlers are installed. A
// path too long, or a full registry, is only removed on a normal failure.
void register_path(const std::string& path, bool folder) {
  if (!handlers_installed.load() || path.size() >= max_path) return;
  for (std::size_t i = 0; i < max_registered; ++i) {
    // Claimed first: two threads writing files cannot take one slot.
    int expected = free_slot;
    if (!registered_state[i].compare_exchange_strong(expected, claimed_slot)) continue;
    std::memcpy(registered[i], path.c_str(), path.size() + 1);
    registered_folder[i] = folder;
    registered_state[i].store(ready_slot);
    return;
  }
}

void unregister_path(const std::string& path) {
  for (std::size_t i = 0; i < max_registered; ++i) {
    if (registered_state[i].load() == ready_slot && path == registered[i]) {
      registered_state[i].store(free_slot);
    }
  }
}

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
  throw InputError{path + ": " + why};
}

std::string error_text() { return std::strerror(errno); }

}  // namespace

void OutputFiles::remove_temporaries_on_signals() {
  handlers_installed.store(true);
  ::signal(SIGINT, remove_registered_and_die);
  ::signal(SIGTERM, remove_registered_and_die);
}

OutputFiles::OutputFiles(std::vector<std::string> paths, const std::string& input) {
  try {
    for (const auto& path : paths) plan(path, input);
  } catch (...) {
    remove_created_folders();
    throw;
  }
}

void OutputFiles::plan(const std::string& path, const std::string& input) {
  if (path.empty()) refuse("-o", "an empty path");
  std::error_code error;
  // A symbolic link is written through: its target, existing or not, is what gets
  // written.
  fs::path link = fs::absolute(path, error);
  for (int depth = 0; fs::is_symlink(fs::symlink_status(link, error)); ++depth) {
    if (depth == 40) refuse(path, "too many levels of symbolic links");
    link = link.parent_path() / fs::read_symlink(link, error);
  }
  const fs::path target = fs::weakly_canonical(link, error);
  if (error) refuse(path, "cannot resolve the path (" + error.message() + ")");
  const auto status = fs::status(target, error);
  if (fs::exists(status)) {
    if (fs::is_directory(status)) refuse(path, "is a directory, not a file");
    if (!fs::is_regular_file(status)) refuse(path, "is not a regular file");
  }
  if (!input.empty() && fs::exists(input, error) &&
      fs::equivalent(target, input, error)) {
    refuse(path, "is the input file");
  }
  for (const auto& file : files_) {
    if (file.target == target.string()) refuse(path, "is written twice");
  }
  // Its folder is made now (and removed again on failure), so that a path that cannot be
  // written fails before the long work.
  std::vector<fs::path> missing;
  fs::path folder = target.parent_path();
  for (; !folder.empty() && !fs::exists(folder, error); folder = folder.parent_path()) {
    missing.push_back(folder);
  }
  if (!folder.empty() && !fs::is_directory(folder, error)) {
    refuse(path, folder.string() + " is not a folder");
  }
  for (auto missing_folder = missing.rbegin(); missing_folder != missing.rend();
       ++missing_folder) {
    if (::mkdir(missing_folder->c_str(), 0777) != 0) {
      refuse(path, "cannot create the folder " + missing_folder->string() + " (" +
                       error_text() + ")");
    }
    created_folders_.push_back(missing_folder->string());
    register_path(created_folders_.back(), true);
  }
  if (::access(target.parent_path().c_str(), W_OK | X_OK) != 0) {
    refuse(path, "cannot write in " + target.parent_path().string() + " (" +
                     error_text() + ")");
  }
  files_.push_back({path, target.string(), {}});
}

void OutputFiles::remove_created_folders() {
  for (auto folder = created_folders_.rbegin(); folder != created_folders_.rend();
       ++folder) {
    ::rmdir(folder->c_str());
    unregister_path(*folder);
  }
  created_folders_.clear();
}

OutputFiles::~OutputFiles() {
  if (committed_) return;
  for (const auto& file : files_) {
    if (file.temporary.empty()) continue;
    std::remove(file.temporary.c_str());
    unregister_path(file.temporary);
  }
  remove_created_folders();
}

void OutputFiles::write(std::size_t index,
                        const std::function<void(TextWriter&)>& write) {
  auto& file = files_.at(index);
  // Unique in the process too: two threads may write the same path at once.
  static std::atomic<std::uint64_t> next_temporary{0};
  file.temporary = file.target + ".tmp-" + std::to_string(::getpid()) + "-" +
                   std::to_string(next_temporary.fetch_add(1));
  register_path(file.temporary, false);
  std::FILE* out = std::fopen(file.temporary.c_str(), "wb");
  if (!out) refuse(file.path, "cannot write (" + error_text() + ")");
  bool failed = false;
  try {
    TextWriter writer{out};
    write(writer);
    writer.flush();
    failed = writer.failed();
  } catch (...) {
    std::fclose(out);
    throw;
  }
  const int saved = errno;
  const bool closed = std::fclose(out) == 0;
  if (failed || !closed) {
    errno = failed ? saved : errno;
    refuse(file.path, "cannot write (" + error_text() + ")");
  }
}

void OutputFiles::commit() {
  // What each rename replaced is kept aside until all are in place.
  std::vector<std::string> kept(files_.size());
  const std::string suffix = ".old-" + std::to_string(::getpid());
  std::size_t done = 0;
  // Files before `done` are in place; the one at `done` may have had its old one moved.
  const auto put_back = [&] {
    for (std::size_t i = 0; i <= done && i < files_.size(); ++i) {
      if (i < done && !files_[i].temporary.empty()) std::remove(files_[i].target.c_str());
      if (!kept[i].empty()) std::rename(kept[i].c_str(), files_[i].target.c_str());
    }
  };
  for (; done < files_.size(); ++done) {
    auto& file = files_[done];
    if (file.temporary.empty()) continue;
    if (::access(file.target.c_str(), F_OK) == 0) {
      kept[done] = file.target + suffix;
      if (std::rename(file.target.c_str(), kept[done].c_str()) != 0) {
        kept[done].clear();
        const std::string why = error_text();
        put_back();
        refuse(file.path, "cannot replace (" + why + ")");
      }
    }
    if (std::rename(file.temporary.c_str(), file.target.c_str()) != 0) {
      const std::string why = error_text();
      put_back();
      refuse(file.path, "cannot write (" + why + ")");
    }
    unregister_path(file.temporary);
  }
  for (const auto& old : kept) {
    if (!old.empty()) std::remove(old.c_str());
  }
  for (const auto& folder : created_folders_) unregister_path(folder);
  committed_ = true;
}

}  // namespace vemra::tool
