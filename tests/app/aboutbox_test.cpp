// The About box: its controls and texts, and a fresh modal box for every About command.
#include "app/AboutBox.h"
#include "tessary/Version.h"
#include "tests/app/QtEnvironment.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// Runs inspect on the modal box once it is up, then closes it the way close does.
void WhileShown(QWidget* parent, const std::function<void(TfrmAboutBox&)>& inspect,
                const std::function<void(TfrmAboutBox&)>& close) {
    int seen = 0;
    std::function<void()> poll = [&] {
        auto* box = qobject_cast<TfrmAboutBox*>(QApplication::activeModalWidget());
        if (!box) box = parent->findChild<TfrmAboutBox*>();
        if (!box || !box->isVisible()) {
            QTimer::singleShot(10, poll);
            return;
        }
        ++seen;
        inspect(*box);
        close(*box);
    };
    QTimer::singleShot(0, poll);
    ShowAboutBox(parent);
    EXPECT_EQ(seen, 1);
}

std::string LabelText(const QWidget& box, const char* name) {
    const auto* label = box.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text().toStdString() : std::string("<missing>");
}

TEST(AboutBox, ShowsNameVersionNoticeAndCreditsWhereTheLayoutPutsThem) {
    TfrmAboutBox box;
    EXPECT_EQ(box.windowTitle().toStdString(), "About Tessary");
    EXPECT_EQ(box.size(), QSize(373, 205));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_EQ(box.font().family().toStdString(), "Arial");
    EXPECT_EQ(box.font().pointSize(), 8);

    EXPECT_EQ(LabelText(box, "lblCESetup"), std::string("Tessary ") + kTessaryVersion);
    EXPECT_EQ(LabelText(box, "lblThanks"), "Special Thank's for");
    EXPECT_FALSE(LabelText(box, "lblNotice").empty());
    EXPECT_NE(LabelText(box, "lblNotice"), "<missing>");
    EXPECT_NE(LabelText(box, "lblThank1"), "<missing>");
    EXPECT_NE(LabelText(box, "lblThank2"), "<missing>");
    EXPECT_NE(LabelText(box, "lblThank1"), LabelText(box, "lblThank2"));

    const auto* title = box.findChild<QLabel*>("lblCESetup");
    ASSERT_NE(title, nullptr);
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(title->font().pointSize(), 10);
    EXPECT_EQ(title->pos(), QPoint(64, 16));
    for (const char* name : {"lblThank1", "lblThank2"}) {
        const auto* credit = box.findChild<QLabel*>(name);
        ASSERT_NE(credit, nullptr) << name;
        EXPECT_TRUE(credit->font().italic()) << name;
    }
    EXPECT_EQ(box.findChild<QLabel*>("lblNotice")->pos(), QPoint(16, 68));
    EXPECT_EQ(box.findChild<QLabel*>("lblThanks")->pos(), QPoint(16, 100));
    EXPECT_EQ(box.findChild<QLabel*>("lblThank1")->pos(), QPoint(32, 116));
    EXPECT_EQ(box.findChild<QLabel*>("lblThank2")->pos(), QPoint(32, 132));

    const auto* icon = box.findChild<QLabel*>("imgIcon");
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->geometry(), QRect(16, 16, 32, 32));
    EXPECT_EQ(icon->pixmap().size(), QSize(32, 32));
    EXPECT_FALSE(icon->pixmap().toImage().allGray());

    const auto* ok = box.findChild<QPushButton*>("btnOK");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text().toStdString(), "OK");
    EXPECT_EQ(ok->geometry(), QRect(149, 168, 75, 23));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(ok->focusPolicy() & Qt::TabFocus);
}

TEST(AboutBox, EachCommandShowsAFreshBoxAndFreesItWhenClosed) {
    QWidget window;
    QPointer<TfrmAboutBox> first;
    WhileShown(
        &window,
        [&](TfrmAboutBox& box) {
            first = &box;
            EXPECT_TRUE(box.isModal());
            EXPECT_EQ(box.parentWidget(), &window);
            // Marks this box, so a reused one would show the mark next time.
            box.lblCESetup->setText("changed");
        },
        [](TfrmAboutBox& box) { box.btnOK->click(); });
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(window.findChildren<TfrmAboutBox*>().isEmpty());

    WhileShown(
        &window,
        [&](TfrmAboutBox& box) {
            EXPECT_EQ(LabelText(box, "lblCESetup"), std::string("Tessary ") + kTessaryVersion);
        },
        [](TfrmAboutBox& box) { box.close(); });
    EXPECT_TRUE(window.findChildren<TfrmAboutBox*>().isEmpty());
}

TEST(AboutBox, OkClosesWithTheOkResult) {
    TfrmAboutBox box;
    QTimer::singleShot(0, box.btnOK, &QPushButton::click);
    EXPECT_EQ(box.exec(), QDialog::Accepted);
}

} // namespace
