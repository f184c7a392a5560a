#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace pelorin::test {

// A new empty folder in the system's temporary folder, removed with all it
// holds when the object goes; its path with "/" between names.
class TemporaryFolder {
 public:
  TemporaryFolder()
      : path_((std::filesystem::temp_directory_path() /
               ("pelorin-" + std::to_string(std::random_device{}())))
                  .generic_string()) {
    std::filesystem::create_directory(path_);
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace pelorin::test
