// Opening a setup of 20,000 files in the window (offscreen), against loading the same setup
// through the facade alone and against the command-line tool's --json report, in one run.
#include "app/WinCEMain.h"
#include "cab/cabfiles.h"
#include "setup/CESetup.h"
#include "tests/support/CabinetSigner.h"
#include "tests/support/DescriptorWriter.h"

#include <QApplication>
#include <QTreeView>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
constexpr int kFiles = 20000;

// Answers nothing and shows nothing, so the window never waits.
class TSilentServices : public TWindowServices {
  public:
    QString RunFileDialog(QFileDialog&) override { return {}; }
    void ShowError(QWidget*, const QString&, const QString& text) override {
        std::fprintf(stderr, "unexpected error box: %s\n", qPrintable(text));
        std::abort();
    }
    void ShowWarning(QWidget* parent, const QString& caption, const QString& text) override {
        ShowError(parent, caption, text);
    }
    void StartDetached(const QString&, const QStringList&) override {}
    void ShowAbout(QWidget*) override {}
    void ShowInformation(QWidget* parent, const QString& caption, const QString& text) override {
        ShowError(parent, caption, text);
    }
    std::unique_ptr<TProgress> StartProgress(QWidget*, const QString&, int) override {
        return nullptr;
    }
};

const std::string& LargeSetup() {
    static TempDir dir;
    static const std::string path = [] {
        DescriptorBuilder builder("Generated", "Bench", "%CE1%\\Generated");
        const uint16_t folders[3] = {1, builder.Dir("%CE1%\\Generated\\Data"),
                                     builder.Dir("%CE2%")};
        SetupCabinetContents contents;
        for (int i = 0; i < kFiles; ++i) {
            // Model order differs from caption order, so the sort has work to do.
            const std::string name = "file" + std::to_string((i * 7919) % kFiles) + ".dat";
            const uint16_t id = builder.File(folders[i % 3], name);
            contents.FileData[id] = Bytes(name);
        }
        builder.ShortcutInStandardFolder("Generated", 1, 11);
        builder.RegString(builder.RegKey(2, "Software\\Bench"), "Files", "20000");
        const std::string file = dir.File("large.cab");
        WriteSetupCabinet(file, builder.Plan(), contents, FixtureCompression::MSZIP);
        return file;
    }();
    return path;
}

// The same setup signed, which the window verifies when it opens it: empty without osslsigncode.
const std::string& LargeSignedSetup() {
    static TempDir dir;
    static const std::string path = [] {
        if (!HaveOsslsigncode()) return std::string();
        const SigningKey key = MakeSigningKey(dir.Path(), "Bench Publisher");
        std::string log;
        const std::string file = dir.File("signed.cab");
        return SignCabinet(key, LargeSetup(), file, "sha1", 0, log) ? file : std::string();
    }();
    return path;
}

// Baseline: what any reader of the setup must do, identification and load through the facade.
void BM_FacadeLoad(benchmark::State& state) {
    const std::string& path = LargeSetup();
    for (auto _ : state) {
        TCABFile cabinet;
        TCESetup setup;
        setup.Cabinet = &cabinet;
        if (!setup.IsSetupCabinet(path) || !setup.LoadSetup(path, "", false))
            state.SkipWithError("the generated setup does not load");
        benchmark::DoNotOptimize(setup.FileCount());
    }
}

// The window: load (which identifies the cabinet), one listing for the setup-DLL row and all
// sizes, the lists filled and sorted.
void BM_WindowOpen(benchmark::State& state) {
    const std::string& file = state.range(0) ? LargeSignedSetup() : LargeSetup();
    if (file.empty()) {
        state.SkipWithError("osslsigncode is not installed");
        return;
    }
    const QString path = QString::fromStdString(file);
    TfrmWinCEMain window({}, std::make_shared<TSilentServices>());
    for (auto _ : state) {
        window.OpenSetup(path);
        if (!window.SetupOpen()) state.SkipWithError("the window did not open the setup");
        QApplication::processEvents();
        state.PauseTiming();
        window.CloseSetup();
        state.ResumeTiming();
    }
}

// The open, then the Files list's first look: its rows are made when first read, so this is
// what the user waits for who goes to the files straight away.
void BM_WindowOpenThenFiles(benchmark::State& state) {
    const QString path = QString::fromStdString(LargeSetup());
    TfrmWinCEMain window({}, std::make_shared<TSilentServices>());
    const auto* files = window.findChild<QTreeView*>("lvFiles");
    if (!files) return state.SkipWithError("no lvFiles");
    for (auto _ : state) {
        window.OpenSetup(path);
        if (!window.SetupOpen()) state.SkipWithError("the window did not open the setup");
        benchmark::DoNotOptimize(files->model()->index(0, 0).data());
        QApplication::processEvents();
        state.PauseTiming();
        window.CloseSetup();
        state.ResumeTiming();
    }
}

// The command-line tool's report of the same setup, as a separate process.
void BM_ToolJson(benchmark::State& state) {
    const std::string tool = std::string(TESSARY_BINARY_DIR) + "/tools/tessary-info";
    if (access(tool.c_str(), X_OK) != 0) {
        state.SkipWithError("tools/tessary-info is not built");
        return;
    }
    const std::string& path = LargeSetup();
    // The child's processor time as well, which a loaded machine does not inflate as it does
    // the elapsed time.
    const auto childSeconds = [] {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    const double before = childSeconds();
    for (auto _ : state) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>(tool.c_str()), const_cast<char*>("--json"),
                        const_cast<char*>(path.c_str()), nullptr};
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv, environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("tessary-info --json failed");
        posix_spawn_file_actions_destroy(&actions);
    }
    state.counters["child_cpu_ms"] = benchmark::Counter((childSeconds() - before) * 1000.0 /
                                                        static_cast<double>(state.iterations()));
}

BENCHMARK(BM_FacadeLoad)->Unit(benchmark::kMillisecond)->UseRealTime();
// 0: unsigned; 1: signed, so the open also verifies the signature over the whole file.
BENCHMARK(BM_WindowOpen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowOpenThenFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ToolJson)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
