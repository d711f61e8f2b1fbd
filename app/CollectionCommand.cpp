// File > Open Collection...: an index of setups in a window of its own (CollectionWindow.h).
#include "app/TextConv.h"
#include "app/WinCEMain.h"

#if defined(TESSARY_HAVE_COLLECTION)
#include "app/CollectionWindow.h"
#endif

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

bool TfrmWinCEMain::LooksLikeCollection(const QString& fileName) {
#if defined(TESSARY_HAVE_COLLECTION)
    QFile file(fileName);
    static const char kMagic[] = "SQLite format 3";
    return file.open(QIODevice::ReadOnly) &&
           file.read(sizeof kMagic) == QByteArray(kMagic, sizeof kMagic);
#else
    (void)fileName;
    return false;
#endif
}

void TfrmWinCEMain::mnuOpenCollectionClick() {
    Guarded([this] {
        dlgOpenCollection->selectFile(QString());
        dlgOpenCollection->setDirectory(DialogFolder());
        const QString chosen = FServices->RunFileDialog(*dlgOpenCollection);
        if (!chosen.isEmpty()) (void)OpenCollection(chosen);
    });
}

QDialog* TfrmWinCEMain::OpenCollection(const QString& fileName) {
#if defined(TESSARY_HAVE_COLLECTION)
    try {
        auto* window = new TfrmCollection(
            fileName,
            [this](const QString& path) {
                Guarded([&] { OpenSetup(QDir::cleanPath(QFileInfo(path).absoluteFilePath())); });
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
    (void)fileName;
    return nullptr;
#endif
}
