// A fresh empty folder under the system's temporary folder for one test, removed with
// everything in it when the object goes; tests write nowhere else. Also: running in a
// folder for a while, and reading a whole file.
#ifndef VANTOREL_TESTS_TEMP_FOLDER_H
#define VANTOREL_TESTS_TEMP_FOLDER_H

#include <stdint.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

class TempFolder {
  public:
    // name_end (UTF-8) ends the folder's name.
    explicit TempFolder(const std::string& name_end = "") {
        namespace fs = std::filesystem;
        std::error_code error;
        fs::path base = fs::temp_directory_path(error);
        if (error) return;
        static unsigned counter;
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        for (int attempt = 0; attempt < 100 && path_.empty(); attempt++) {
            fs::path candidate = base / fs::u8path("vantorel-" + std::to_string(stamp) + "-" +
                                                   std::to_string(counter++) + name_end);
            if (fs::create_directory(candidate, error)) path_ = candidate.u8string();
        }
    }
    ~TempFolder() {
        if (path_.empty()) return;
        // A program that has just ended may hold the folder a moment longer.
        for (int attempt = 0; attempt < 100; attempt++) {
            std::error_code error;
            std::filesystem::remove_all(std::filesystem::u8path(path_), error);
            if (!error) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Empty when no folder could be made.
    const std::string& path() const { return path_; }
    // A name inside the folder.
    std::string file(const std::string& name) const {
        return path_ + (char)std::filesystem::path::preferred_separator + name;
    }
    std::string path(const char* name) const { return file(name); }

    bool exists(const char* name) const {
        std::error_code error;
        return std::filesystem::exists(file(name), error);
    }

    // Names and paths are UTF-8, as the program sees them through its UTF-8 code page.
    // Writes content into a file of the folder; returns its path.
    std::string write(const std::string& name, const std::string& content) const {
        std::string path = file(name);
        std::ofstream(std::filesystem::u8path(path), std::ios::binary) << content;
        return path;
    }
    bool write(const char* name, const std::vector<uint8_t>& bytes) const {
        std::ofstream out(std::filesystem::u8path(file(name)), std::ios::binary);
        out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
        return (bool)out;
    }
    std::vector<uint8_t> read(const char* name) const {
        std::ifstream in(std::filesystem::u8path(file(name)), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

  private:
    std::string path_;
};

// Makes a folder the current one while it lives, then goes back.
class CurrentFolder {
  public:
    explicit CurrentFolder(const std::string& path) {
        std::error_code error;
        saved_ = std::filesystem::current_path(error);
        std::filesystem::current_path(path, error);
    }
    ~CurrentFolder() {
        std::error_code error;
        std::filesystem::current_path(saved_, error);
    }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

  private:
    std::filesystem::path saved_;
};

// The whole content of the file at a UTF-8 path; empty when it cannot be read.
inline std::string read_whole_file(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#endif
