// Typing in the filter box over the files list of a 65,535-file setup, the most a binary
// descriptor holds: the time of one keystroke until the shown window has repainted, against
// opening the same setup in the same run.
#include "app/WinCEMain.h"
#include "tests/support/DescriptorWriter.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>

namespace {
constexpr int kFiles = 65535;

class TSilentServices : public TWindowServices {
  public:
    QString RunFileDialog(QFileDialog&) override { return {}; }
    void ShowError(QWidget*, const QString&, const QString& text) override {
        std::fprintf(stderr, "unexpected message box: %s\n", qPrintable(text));
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

// The files need no cabinet entries: a row without one shows "0 bytes", and the cabinet could
// not hold 65,535 files beside the descriptor anyway.
const QString& LargeSetup() {
    static TempDir dir;
    static const QString path = [] {
        DescriptorBuilder builder("Filtered", "Bench", "%CE1%\\Filtered");
        const uint16_t folders[3] = {1, builder.Dir("%CE1%\\Filtered\\Data"), builder.Dir("%CE2%")};
        for (int i = 0; i < kFiles; ++i)
            builder.File(folders[i % 3], "file" + std::to_string((i * 7919) % kFiles) + ".dat");
        std::vector<FixtureEntry> entries = SetupCabinetEntries(builder.Plan(), {});
        std::erase_if(entries,
                      [](const FixtureEntry& entry) { return !entry.Name.ends_with(".000"); });
        const std::string file = dir.File("filtered.cab");
        WriteCabinet(file, entries, FixtureCompression::None);
        return QString::fromStdString(file);
    }();
    return path;
}

struct TShownWindow {
    TfrmWinCEMain Window{{}, std::make_shared<TSilentServices>()};
    QLineEdit* Filter = nullptr;
    QTreeView* Files = nullptr;

    TShownWindow() {
        Window.OpenSetup(LargeSetup());
        Window.resize(800, 600);
        Window.show();
        Filter = Window.findChild<QLineEdit*>("edtFilter");
        Files = Window.findChild<QTreeView*>("lvFiles");
        auto* tree = Window.findChild<QTreeView*>("tvProject");
        tree->setCurrentIndex(tree->model()->index(0, 0, tree->model()->index(0, 0)));
        QApplication::processEvents();
    }
};

// One keystroke per iteration, cycling through typing "file12" and erasing it again, so both
// narrowing and widening are measured; each ends with the window repainted.
void BM_FilterKeystroke(benchmark::State& state) {
    TShownWindow shown;
    if (!shown.Window.SetupOpen() || shown.Files->model()->rowCount() != kFiles) {
        state.SkipWithError("the generated setup does not open");
        return;
    }
    const QString word = "file12";
    int step = 0;
    for (auto _ : state) {
        const int at = step % (2 * word.size());
        if (at < word.size())
            QTest::keyClick(shown.Filter, word[at].toLatin1());
        else
            QTest::keyClick(shown.Filter, Qt::Key_Backspace);
        shown.Files->viewport()->repaint();
        QApplication::processEvents();
        ++step;
    }
    state.counters["rows_after_last_key"] = shown.Files->model()->rowCount();
}

// Baseline: opening the same setup in the window, lists filled and sorted.
void BM_WindowOpen65535(benchmark::State& state) {
    TfrmWinCEMain window({}, std::make_shared<TSilentServices>());
    for (auto _ : state) {
        window.OpenSetup(LargeSetup());
        if (!window.SetupOpen()) state.SkipWithError("the window did not open the setup");
        QApplication::processEvents();
        state.PauseTiming();
        window.CloseSetup();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_FilterKeystroke)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_WindowOpen65535)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
