#pragma once
// For GoogleTest programs of the window: one QApplication for the whole run, destroyed before
// the program's exit handlers run; a QApplication left to static destruction outlives parts of
// Qt and crashes at exit. Including this header registers it.
#include <QApplication>
#include <gtest/gtest.h>

#include <memory>

class TQtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!QCoreApplication::instance()) FApp = std::make_unique<QApplication>(FArgc, FArgv);
    }
    void TearDown() override { FApp.reset(); }

  private:
    int FArgc = 1;
    char FName[9] = "test_app";
    char* FArgv[2] = {FName, nullptr};
    std::unique_ptr<QApplication> FApp;
};

[[maybe_unused]] inline const ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtEnvironment);
