#include "app/AboutBox.h"

#include "app/Images.h"
#include "tessary/Version.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

namespace {

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);
    label->adjustSize();
    return label;
}

QFont StyledFont(const QFont& base, int points, bool bold, bool italic) {
    QFont font = base;
    font.setPointSize(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

} // namespace

TfrmAboutBox::TfrmAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAboutBox"));
    setWindowTitle(QStringLiteral("About Tessary"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("Arial"), 8));
    setFixedSize(373, 205);

    imgIcon = new QLabel(this);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setGeometry(16, 16, 32, 32);
    imgIcon->setPixmap(ProgramIcon().pixmap(32, 32));

    lblCESetup = AddLabel(this, "lblCESetup",
                          QStringLiteral("Tessary ") + QLatin1String(kTessaryVersion), 64, 16);
    lblCESetup->setFont(StyledFont(font(), 10, true, false));
    lblCESetup->adjustSize();
    lblNotice = AddLabel(this, "lblNotice",
                         QStringLiteral("Copyright (C) the Tessary developers. Free to use, "
                                        "provided as is."),
                         16, 68);
    lblThanks = AddLabel(this, "lblThanks", QStringLiteral("Special Thank's for"), 16, 100);
    lblThank1 =
        AddLabel(this, "lblThank1",
                 QStringLiteral("everyone who sent in setup cabinets to test with"), 32, 116);
    lblThank2 =
        AddLabel(this, "lblThank2",
                 QStringLiteral("the people behind the cabinet libraries we read with"), 32, 132);
    for (QLabel* credit : {lblThank1, lblThank2}) {
        credit->setFont(StyledFont(font(), 8, false, true));
        credit->adjustSize();
    }

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(149, 168, 75, 23);
    btnOK->setDefault(true);
    btnOK->setFocusPolicy(Qt::ClickFocus);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    // Centred on the screen, not on the owner; moving it first keeps Qt from re-centring.
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) move(screen->availableGeometry().center() - rect().center());
}

void ShowAboutBox(QWidget* parent) {
    // Guarded: the owner may be destroyed while the box runs its loop, taking the box with it.
    QPointer<TfrmAboutBox> box = new TfrmAboutBox(parent);
    box->exec();
    delete box.data();
}
