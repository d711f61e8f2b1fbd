// The nodes beyond the design that every setup may have: what its "_setup.xml" provisions, who
// signed the cabinet, and what its files are as programs. The last two read the cabinet again
// in the background (BackgroundReading.h); the window never waits for them.
#include "app/Images.h"
#include "app/TextConv.h"
#include "app/WinCEMain.h"
#include "cab/AsciiCase.h"
#include "cab/cabfiles.h"
#include "inspection/BackgroundReading.h"
#include "programs/ProgramsPage.h"
#include "provisioning/ProvisioningPage.h"
#include "provisioning/Rows.h"
#include "report/ReadingTexts.h"
#include "setup/CESetup.h"
#include "signature/Signature.h"

#include <QCollator>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QStackedWidget>
#include <QThread>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

const TRow* RowWithSource(const TPage& page, size_t source) {
    for (const TRow& row : page.Rows)
        if (row.Source == source) return &row;
    return nullptr;
}

} // namespace

void TfrmWinCEMain::CreateSetupNodes() {
    FProvisioningNode =
        AddReportNode("Provisioning", "tvProvisioning",
                      provisioning::BuildProvisioningPages(provisioning::TProvisioningTree{}).Rows,
                      TReportNode::TView::Tree, imgProvisioning);
    // A certificate's decoded fields; any other item's whole texts, which the columns cut.
    FProvisioningNode->SetDetails([this](const TRow* row) {
        std::vector<TPage> pages;
        if (!row) return pages;
        if (const TRow* certificate = RowWithSource(FProvisioningCertificates, row->Source))
            pages.push_back(FieldsPage(FProvisioningCertificates, *certificate, 2));
        else
            pages.push_back(FieldsPage(FProvisioningNode->Page(), *row));
        return pages;
    });

    FSignatureNode = AddReportNode("Signature", "lvSignature",
                                   BuildSignaturePages(TCabinetSignature{}).Certificates,
                                   TReportNode::TView::List, imgSignature);
    FSignatureNode->SetDetails([this](const TRow* row) {
        std::vector<TPage> pages{FSignaturePages.Checks, FSignaturePages.TrustFacts};
        if (row) pages.push_back(FieldsPage(FSignaturePages.Certificates, *row));
        return pages;
    });

    FProgramsNode = AddReportNode("Programs", "lvPrograms", BuildProgramsPage({}),
                                  TReportNode::TView::List, imgPrograms);
    FProgramsNode->SetDetails([this](const TRow* row) {
        std::vector<TPage> pages;
        if (row && row->Source < FProgramRows.size())
            pages.push_back(BuildProgramDetailsPage(FProgramRows[row->Source]));
        return pages;
    });
    connect(FProgramsNode->View()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdateExtractEnabled(); });

    // What a setup that is only a provisioning document changes, above the Project page's rows.
    lblProjectNote = new QLabel;
    lblProjectNote->setObjectName("lblProjectNote");
    lblProjectNote->setContentsMargins(6, 4, 6, 4);
    lblProjectNote->setWordWrap(true);
    lblProjectNote->setTextFormat(Qt::PlainText);
    lblProjectNote->hide();
    if (auto* layout = qobject_cast<QVBoxLayout*>(ntbViewers->widget(0)->layout()))
        layout->insertWidget(1, lblProjectNote);
}

void TfrmWinCEMain::FillSignatureNode(const TCabinetSignature& signature,
                                      const std::vector<TStoreAddition>& added) {
    TTrustContext context;
    context.Added = added;
    FSignaturePages = BuildSignaturePages(signature, context);
    FSignatureNode->SetPage(FSignaturePages.Certificates);
    FSignatureNode->SetStatusText(ToDisplay(FSignaturePages.Status));
}

void TfrmWinCEMain::FillSetupNodes() {
    const uint64_t generation = ++FGeneration;
    TBackgroundRequest request;
    request.Path = ToLocalPath(FSetupFileName);
    if (provisioning::HasProvisioningDocument(FCabFile->CABFileContents)) {
        // Even a setup that is only a document: one can hold a million parms or slow keys.
        ShowReportNode(FProvisioningNode);
        request.Provisioning = true;
        FProvisioningNode->SetStatusText(kReadingDocument);
    }
    // A signature that cannot be read is still one: the node says why.
    const TValue* verdict = FindField(FSignaturePages.Summary, "verdict");
    if (verdict && *verdict != TValue(std::string("Not signed"))) ShowReportNode(FSignatureNode);
    const bool programs = FSetup->FileCount() > 0 || HasSetupDll();
    FProgramRows.assign(static_cast<size_t>(FSetup->FileCount()), TProgramRow{});
    if (programs) {
        ShowReportNode(FProgramsNode);
        FProgramsNode->SetStatusText(kReadingPrograms);
    }
    if (!programs && !request.Provisioning) return;
    StartReader(request, ReadingResults(generation, programs), generation);
}

TBackgroundResults TfrmWinCEMain::ReadingResults(uint64_t generation, bool programs) {
    // Results are handed to the window's thread, where only the run of this open takes them.
    // The window waits for its readers before it goes, and a message to a window that is gone
    // is dropped with it.
    TfrmWinCEMain* window = this;
    const auto post = [window, generation](auto apply) {
        QMetaObject::invokeMethod(
            window,
            [window, generation, apply = std::move(apply)]() mutable {
                if (window->FGeneration != generation || !window->FSetupOpen) return;
                window->Guarded([&] { apply(*window); });
            },
            Qt::QueuedConnection);
    };
    TBackgroundResults results;
    results.ProvisioningTree = [post](std::shared_ptr<const provisioning::TProvisioningTree> tree) {
        post([tree](TfrmWinCEMain& w) {
            w.FProvisioningTree = tree;
            // A decision waiting for the document is made now; the findings still wait.
            if (!w.FFindingsComplete && !w.FDeviceSources.isEmpty()) w.FillFindings(false);
        });
    };
    results.Provisioning = [post](provisioning::TProvisioningPages pages, std::string headline) {
        auto shared = std::make_shared<provisioning::TProvisioningPages>(std::move(pages));
        post([shared, headline](TfrmWinCEMain& w) {
            w.FProvisioningCertificates = std::move(shared->Certificates);
            w.FProvisioningNode->SetTree(std::move(shared->Tree), std::move(shared->Rows));
            if (!shared->Added.empty()) w.FillSignatureNode(w.FSignature, shared->Added);
            w.FProvisioningNode->SetStatusText(QString::fromStdString(headline));
            if (provisioning::IsProvisioningOnly(*w.FSetup)) {
                // What the setup changes, above the Project page's rows.
                w.lblProjectNote->setText(QString::fromStdString(headline));
                w.lblProjectNote->show();
            }
        });
    };
    if (programs) {
        results.ProgramRows = [post](std::vector<TProgramRow> rows) {
            auto shared = std::make_shared<std::vector<TProgramRow>>(std::move(rows));
            post([shared](TfrmWinCEMain& w) { w.ProgramsArrived(std::move(*shared), false); });
        };
        results.ProgramsDone = [post](std::vector<TProgramRow> rows) {
            auto shared = std::make_shared<std::vector<TProgramRow>>(std::move(rows));
            post([shared](TfrmWinCEMain& w) { w.ProgramsArrived(std::move(*shared), true); });
        };
    }
    results.Failed = [post](std::string why) {
        post([why](TfrmWinCEMain& w) {
            const QString text = kReadAgainFailed + ToDisplay(why);
            w.FProgramsNode->SetStatusText(text);
            w.FProvisioningNode->SetStatusText(text);
            // The findings go on without the programs that were not read.
            w.FillFindings(true);
        });
    };
    results.Reported = [post](std::vector<TDiagnostic> reports) {
        post([reports](TfrmWinCEMain& w) {
            for (const TDiagnostic& report : reports)
                w.FServices->ShowWarning(&w, "Error", ToDisplay(report.Text));
        });
    };
    return results;
}

void TfrmWinCEMain::StartReader(const TBackgroundRequest& request, TBackgroundResults results,
                                uint64_t generation) {
    auto stop = std::make_shared<std::atomic<bool>>(false);
    FStopReading = stop;
    QThread* reader = QThread::create([request, results, stop] {
#ifdef __linux__
        // Below the window's own thread, which must answer at once: Linux gives threads of one
        // scheduling policy no priorities, only their nice values. A hint: refused, the reader
        // runs as it would have, only competing with the window.
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
#endif
        ReadInBackground(request, results, *stop);
    });
    reader->setObjectName("SetupReader");
    FReaders.push_back(reader);
    connect(reader, &QThread::finished, this, [this, reader, generation] {
        FReaders.erase(std::remove(FReaders.begin(), FReaders.end(), reader), FReaders.end());
        reader->deleteLater();
        // A setup without programs audits once its document is read (what the reader posted
        // came before this), or could not be.
        if (FGeneration == generation && FSetupOpen && !FFindingsComplete &&
            FSetup->FileCount() == 0)
            Guarded([this] { FillFindings(true); });
    });
    reader->start(QThread::LowPriority);
}

void TfrmWinCEMain::ProgramsArrived(std::vector<TProgramRow> rows, bool done) {
    if (done) {
        // Every row, marked, in the locale's order: the rows the tool prints.
        FProgramRows = std::move(rows);
        TPage page = ProgramsPage();
        const size_t count = page.Rows.size();
        FProgramsNode->SetPage(std::move(page));
        FProgramsNode->SetStatusText(
            QString::fromStdString(ProgramsStatusText(FProgramRows, count)));
        FillFindings(true);
        return;
    }
    // Sources are the rows' places in the whole analysis, as in the final page, so a selection
    // survives it.
    TPage page = BuildProgramsPage(rows, ArrivalOrder());
    for (TRow& row : page.Rows)
        row.Source = rows[row.Source].Index;
    for (TProgramRow& row : rows) {
        if (row.Index >= FProgramRows.size()) FProgramRows.resize(row.Index + 1);
        FProgramRows[row.Index] = std::move(row);
    }
    FProgramsNode->AppendRows(std::move(page));
    FProgramsNode->SetStatusText(
        QString::fromStdString(ProgramsFoundSoFar(FProgramsNode->Page().Rows.size())));
}

void TfrmWinCEMain::StopReading() {
    ++FGeneration;
    if (FStopReading) FStopReading->store(true);
    FStopReading.reset();
    FProgramRows.clear();
    FProvisioningCertificates = {};
    FProvisioningTree.reset();
    FSignaturePages = {};
    lblProjectNote->hide();
    lblProjectNote->clear();
}

void TfrmWinCEMain::WaitForReaders() {
    StopReading();
    // A reader stopped is at most one entry from its end; none may outlive the window.
    for (QThread* reader : FReaders) {
        reader->wait();
        delete reader;
    }
    FReaders.clear();
}
