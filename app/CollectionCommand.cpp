// File > Open Collection...: an index of setups in a window of its own (CollectionWindow.h).
#include "app/TextConv.h"
#include "app/WinCEMain.h"

#if defined(TESSARY_HAVE_COLLECTION)
#include "app/CollectionWindow.h"
#include "collection/Collection.h"
#endif

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

bool TfrmWinCEMain::LooksLikeCollection([[maybe_unused]] const QString& fileName) {
#if defined(TESSARY_HAVE_COLLECTION)
    QFile file(fileName);
    static const char kMagic[] = "SQLite format 3";
    return file.open(QIODevice::ReadOnly) &&
           file.read(sizeof kMagic) == QByteArray(kMagic, sizeof kMagic);
#else
    return false;
#endif
}

void TfrmWinCEMain::mnuOpenCollectionClick() {
    Guarded([this] {
        dlgOpenCollection->selectFile(QString());
        dlgOpenCollection->setDirectory(DialogFolder());
        const QString chosen = FServices->RunFileDialog(*dlgOpenCollection);
        // A file that is no index is said by OpenCollection; the window it gives lives on its own.
        if (!chosen.isEmpty()) OpenCollection(chosen);
    });
}

#if defined(TESSARY_HAVE_COLLECTION)
// A setup the index found inside a package is opened below the package's node.
void TfrmWinCEMain::OpenIndexedSetup(const QString& path) {
    std::string package, inside;
    if (!collection::SplitPackagePath(ToLocalPath(path), package, inside)) {
        OpenSetup(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
        return;
    }
    OpenSetup(QFile::decodeName(package.c_str()));
    if (!FPackage) return; // it said why it could not be opened
    for (size_t i = 0; i < FPackage->Setups.size(); ++i)
        if (FPackage->Setups[i].PathInside == inside) {
            OpenContainedSetup(i);
            return;
        }
    FServices->ShowError(this, kApplicationTitle,
                         QFileInfo(QFile::decodeName(package.c_str())).fileName() +
                             ": no longer holds " + ToDisplay(inside));
}
#endif

QDialog* TfrmWinCEMain::OpenCollection([[maybe_unused]] const QString& fileName) {
#if defined(TESSARY_HAVE_COLLECTION)
    try {
        auto* window = new TfrmCollection(
            fileName,
            [this](const QString& path) {
                Guarded([&] { OpenIndexedSetup(path); });
                raise();
                activateWindow();
            },
            this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        return window;
    } catch (const std::exception& e) {
        FServices->ShowError(this, kApplicationTitle,
                             QFileInfo(fileName).fileName() + ": " + ToDisplay(e.what()));
        return nullptr;
    }
#else
    FServices->ShowError(this, kApplicationTitle, "This build has no collection support.");
    return nullptr;
#endif
}
