#pragma once
// The collection the Windows build's collection tests share: two recorded fixture setups (one in
// a subfolder) and a damaged one, with the eight real cabinets, indexed once per suite by
// tessary-info.exe with two readers.
#include "tests/collection/CollectionFixtures.h"
#include "tests/windows/ToolRun.h"

#include <gtest/gtest.h>

#include <filesystem>

inline const std::string kReal = std::string(TESSARY_CORPUS_DIR) + "/real";

class IndexedCollection : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        walk = dir->File("walk");
        std::filesystem::create_directories(walk + "\\sub");
        WriteVariedSetup(walk + "\\Good.cab", "Good", 2);
        WriteVariedSetup(walk + "\\sub\\Kept.cab", "Kept", 2);
        WriteDamagedSetup(walk + "\\Broken.cab");
        db = dir->File("collection.db");
        first = new TToolRun(RunTool({L"-j", L"2", L"--index", W(db), W(walk), W(kReal)}));
    }
    static void TearDownTestSuite() {
        delete first;
        delete dir;
        first = nullptr;
        dir = nullptr;
    }
    static inline TempDir* dir = nullptr;
    static inline std::string walk, db;
    // The indexing run: 3, for the damaged one.
    static inline TToolRun* first = nullptr;
};
