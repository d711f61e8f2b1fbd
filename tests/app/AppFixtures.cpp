#include "tests/app/AppFixtures.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QTreeWidget>

QString TFakeServices::RunFileDialog(QFileDialog& dialog) {
    const QStringList selected = dialog.selectedFiles();
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

bool TFakeServices::StartDetached(const QString& program, const QStringList& arguments) {
    Started.append({program, arguments});
    return false;
}

void TFakeServices::ShowAbout(QWidget*) {
    ++AboutCount;
}

TWindowFixture::TWindowFixture(const QStringList& arguments)
    : Window(std::make_unique<TfrmWinCEMain>(arguments, Services)) {}

QAction* TWindowFixture::Action(const char* name) const {
    return Window->findChild<QAction*>(name);
}

QTreeWidget* TWindowFixture::Tree(const char* name) const {
    return Window->findChild<QTreeWidget*>(name);
}

QString TWindowFixture::Status() const {
    return Window->findChild<QLabel*>("pnlStatus")->text();
}

QStringList TWindowFixture::Column(const char* list, int column) const {
    QStringList texts;
    QTreeWidget* view = Tree(list);
    for (int i = 0; i < view->topLevelItemCount(); ++i)
        texts << view->topLevelItem(i)->text(column);
    return texts;
}

int TWindowFixture::RowOf(const char* list, const QString& caption) const {
    return Column(list, 0).indexOf(caption);
}

void TWindowFixture::SelectProjectNode(int absoluteIndex) const {
    QTreeWidget* tree = Tree("tvProject");
    QTreeWidgetItem* root = tree->topLevelItem(0);
    tree->setCurrentItem(absoluteIndex == 0 ? root : root->child(absoluteIndex - 1));
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
