// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  // Path of a file inside the folder.
  std::string File(const std::string& name) const;

  // Whole file contents, or empty when the file is missing.
  static std::string ReadAll(const std::string& file);
  static void WriteAll(const std::string& file, const std::string& bytes);

 private:
  std::string path_;
};
