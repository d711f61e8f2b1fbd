#pragma once
// A folder of the process's own below the system's temporary folder (mode 0700 on POSIX, a
// fresh unique name on Windows), removed with everything in it when the owner goes. What a
// package unpacks is written there and nowhere else.
#include <string>

class TPrivateFolder {
  public:
    TPrivateFolder() = default;
    ~TPrivateFolder();
    TPrivateFolder(const TPrivateFolder&) = delete;
    TPrivateFolder& operator=(const TPrivateFolder&) = delete;

    // Created on the first call; empty with Error set when the system refuses.
    [[nodiscard]] const std::string& Path();
    [[nodiscard]] const std::string& Error() const { return FError; }

  private:
    std::string FPath;
    std::string FError;
};

// The platform's part: makes a fresh folder only this user can enter; empty on failure.
[[nodiscard]] std::string CreatePrivateFolder(std::string& error);
