// A fresh folder under the system's temporary folder for one test, removed with its
// files when the test ends. Windows only.
#ifndef VANTOREL_TESTS_SUPPORT_TEMP_FOLDER_H
#define VANTOREL_TESTS_SUPPORT_TEMP_FOLDER_H

#include <stdint.h>

#include <string>
#include <vector>

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The full path of a file in the folder.
    std::string path(const char* name) const;
    bool exists(const char* name) const;
    std::vector<uint8_t> read(const char* name) const;
    bool write(const char* name, const std::vector<uint8_t>& bytes) const;

  private:
    std::string folder_;
};

#endif
