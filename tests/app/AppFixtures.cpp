#include "tests/app/AppFixtures.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QTreeView>

QString TFakeServices::RunFileDialog(QFileDialog& dialog) {
    const QStringList selected = dialog.selectedFiles();
    DialogFolders.append(dialog.directory().absolutePath());
    DialogRuns.append({dialog.nameFilters().join(";;"),
                       selected.isEmpty() ? QString() : QFileInfo(selected.first()).fileName(),
                       dialog.objectName()});
    return DialogAnswers.isEmpty() ? QString() : DialogAnswers.takeFirst();
}

void TFakeServices::ShowError(QWidget* parent, const QString& caption, const QString& text) {
    Messages.append({"error", caption, text, parent && parent->isVisible()});
}

void TFakeServices::ShowWarning(QWidget* parent, const QString& caption, const QString& text) {
    Messages.append({"warning", caption, text, parent && parent->isVisible()});
}

void TFakeServices::StartDetached(const QString& program, const QStringList& arguments) {
    Started.append({program, arguments});
}

void TFakeServices::ShowAbout(QWidget*) {
    ++AboutCount;
}

void TFakeServices::ShowInformation(QWidget* parent, const QString& caption, const QString& text) {
    Messages.append({"information", caption, text, parent && parent->isVisible()});
}

namespace {
class TFakeProgress : public TProgress {
  public:
    explicit TFakeProgress(TFakeServices& services) : FServices(services) {
        ++FServices.ProgressOpen;
    }
    ~TFakeProgress() override { --FServices.ProgressOpen; }
    bool Update(int done, int total, const QString& text) override {
        FServices.ProgressTexts << QString("%1/%2 %3").arg(done).arg(total).arg(text);
        return FServices.ProgressTexts.size() - 1 != FServices.CancelAt;
    }

  private:
    TFakeServices& FServices;
};
} // namespace

std::unique_ptr<TProgress> TFakeServices::StartProgress(QWidget*, const QString&, int) {
    return std::make_unique<TFakeProgress>(*this);
}

TWindowFixture::TWindowFixture(const QStringList& arguments)
    : Window(std::make_unique<TfrmWinCEMain>(arguments, Services)) {}

QAction* TWindowFixture::Action(const char* name) const {
    return Window->findChild<QAction*>(name);
}

QTreeView* TWindowFixture::View(const char* name) const {
    return Window->findChild<QTreeView*>(name);
}

QString TWindowFixture::Status() const {
    return Window->findChild<QLabel*>("pnlStatus")->text();
}

QStringList TWindowFixture::Column(const char* list, int column) const {
    QStringList texts;
    const QAbstractItemModel* model = View(list)->model();
    for (int i = 0; i < model->rowCount(); ++i)
        texts << model->index(i, column).data().toString();
    return texts;
}

int TWindowFixture::RowOf(const char* list, const QString& caption) const {
    return Column(list, 0).indexOf(caption);
}

void TWindowFixture::SelectProjectNode(int absoluteIndex) const {
    QTreeView* tree = View("tvProject");
    const QModelIndex root = tree->model()->index(tree->model()->rowCount() - 1, 0);
    tree->setCurrentIndex(absoluteIndex == 0 ? root
                                             : tree->model()->index(absoluteIndex - 1, 0, root));
}

QStringList TWindowFixture::ProjectNodes() const {
    QStringList captions;
    const QAbstractItemModel* model = View("tvProject")->model();
    const QModelIndex root = model->index(model->rowCount() - 1, 0);
    for (int row = 0; row < model->rowCount(root); ++row)
        captions << model->index(row, 0, root).data().toString();
    return captions;
}

void TWindowFixture::SelectProjectNode(const QString& caption) const {
    SelectProjectNode(static_cast<int>(ProjectNodes().indexOf(caption)) + 1);
}

void TWindowFixture::SelectRow(const char* list, int row) const {
    QTreeView* view = View(list);
    view->selectionModel()->setCurrentIndex(view->model()->index(row, 0),
                                            QItemSelectionModel::ClearAndSelect |
                                                QItemSelectionModel::Rows);
}

DescriptorBuilder SmallSetup(bool ce4Plus) {
    DescriptorBuilder builder("Tide Tables", "Harbour Soft", "%CE1%\\Tide Tables", ce4Plus);
    const uint16_t data = builder.Dir("%CE1%\\Tide Tables\\Data");
    const uint16_t exe = builder.File(1, "tides.exe");
    builder.File(data, "ports.dat");
    builder.File(1, "Readme");
    builder.ShortcutInStandardFolder("Tides", exe, 11);
    const uint16_t key = builder.RegKey(2, "Software\\Harbour Soft");
    builder.RegString(key, "Port", "Brest");
    return builder;
}

std::string WriteSetup(const std::string& path, const DescriptorPlan& plan,
                       const SetupCabinetContents& contents) {
    WriteSetupCabinet(path, plan, contents);
    return path;
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
